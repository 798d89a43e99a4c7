// Serves a folder (the page in build-web/) on 127.0.0.1 only, for `make web-serve` and the page's
// tests. Usage: node scripts/serve-web.js DIR [PORT] (default 8080; 0 takes a free port).
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.hex': 'text/plain; charset=utf-8',
  '.png': 'image/png',
};

// Resolves with the listening server; its address is server.address().
function serve(dir, port) {
  const root = path.resolve(dir);
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const file = path.join(root, decodeURIComponent(url.pathname === '/' ? '/index.html' : url.pathname));
    if (!file.startsWith(root + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404, { 'Content-Type': 'text/plain' }).end('Not found\n');
        return;
      }
      response.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-store',
      });
      response.end(data);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

module.exports = { serve };

if (require.main === module) {
  const dir = process.argv[2] || 'build-web';
  const port = Number(process.argv[3] || 8080);
  serve(dir, port).then((server) => {
    console.log('Quillane in a web browser: http://127.0.0.1:' + server.address().port + '/');
  }, (error) => {
    console.error('serve-web: ' + error.message);
    process.exit(1);
  });
}
