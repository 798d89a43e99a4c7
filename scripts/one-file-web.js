// Makes the one-file edition of the page: DIR/quillane.html from DIR/index.html with the style
// sheet, the scripts, the wasm (base64), the monitor ROM and its symbols and line table inside,
// so that it opens from disk.
// Usage: node scripts/one-file-web.js DIR
'use strict';
const fs = require('fs');
const path = require('path');

const dir = process.argv[2];
const read = (name) => fs.readFileSync(path.join(dir, name));
// Inside a script element, "</script" would end it early.
const scriptText = (text) => text.replace(/<\/script/gi, '<\\/script');

const inline = 'window.quillaneInline = ' + JSON.stringify({
  wasm: read('quillane.wasm').toString('base64'),
  rom: read('tessik.hex').toString('latin1'),
  monitorDebug: Object.fromEntries(['tessik.sym', 'tessik.lines']
    .filter((name) => fs.existsSync(path.join(dir, name)))
    .map((name) => [name, read(name).toString('latin1')])),
}) + ';';
let html = read('index.html').toString('utf8');
html = html.replace(/<link rel="stylesheet" href="([^"]+)">/g,
  (_, name) => '<style>\n' + read(name).toString('utf8') + '</style>');
let first = true;
html = html.replace(/<script src="([^"]+)"><\/script>/g, (_, name) => {
  const before = first ? '<script>' + scriptText(inline) + '</script>\n' : '';
  first = false;
  return before + '<script>\n' + scriptText(read(name).toString('utf8')) + '\n</script>';
});
fs.writeFileSync(path.join(dir, 'quillane.html'), html);
