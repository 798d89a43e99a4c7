// The browser edition's figures in headless Chromium: the page's size compressed with gzip, the
// time to the monitor's first frame, how closely board time follows wall time at real time, the
// share of one core the page's frames take then, and the warp speed. Prints them; asserts nothing.
// Usage: node bench/bench_web.js [BUILD-WEB] (needs make web and tests/web's npm packages).
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const root = path.resolve(__dirname, '..');
process.env.QUILLANE_WEB = path.resolve(process.argv[2] || path.join(root, 'build-web'));
const { openBrowser } = require(path.join(root, 'tests/web/browser.js'));
const web = process.env.QUILLANE_WEB;

const pageFiles = ['index.html', 'quillane.js', 'quillane.wasm', 'quillane-page.js',
  'quillane-audio.js', 'quillane.css', 'tessik.hex', 'tessik.sym', 'tessik.lines'];
const gzipped = pageFiles.reduce((sum, f) =>
  sum + zlib.gzipSync(fs.readFileSync(path.join(web, f)), { level: 9 }).length, 0);
console.log('page files gzip -9: ' + (gzipped / 1024).toFixed(1) + ' KB (' + pageFiles.join(', ') + ')');
console.log('one-file edition gzip -9: ' +
  (zlib.gzipSync(fs.readFileSync(path.join(web, 'quillane.html')), { level: 9 }).length / 1024)
    .toFixed(1) + ' KB');

(async () => {
  const browser = await openBrowser();
  const started = Date.now();
  const page = await browser.open('');
  console.log('first frame: ' + (await page.evaluate(() => window.quillane.firstFrame)).toFixed(0) +
    ' ms after the navigation started (' + (Date.now() - started) + ' ms with opening the tab)');

  // Real time: board time against wall time over 2 s, and the time the frames' work took.
  const paced = await page.evaluate(async () => {
    let busy = 0;
    const request = window.requestAnimationFrame;
    // Times the page's own frame callback (run, sound, draw).
    window.requestAnimationFrame = (fn) => request((t) => {
      const t0 = performance.now();
      fn(t);
      busy += performance.now() - t0;
    });
    await new Promise((r) => setTimeout(r, 500));
    busy = 0;
    const t0 = performance.now();
    const k0 = window.quillane.ticks();
    await new Promise((r) => setTimeout(r, 2000));
    const wall = performance.now() - t0;
    return { wall, board: (window.quillane.ticks() - k0) / 10000, busy };
  });
  console.log('real time: ' + paced.board.toFixed(1) + ' ms of board time in ' +
    paced.wall.toFixed(1) + ' ms (' + (100 * (paced.board / paced.wall - 1)).toFixed(2) + ' %), ' +
    'frames busy ' + (100 * paced.busy / paced.wall).toFixed(1) + ' % of one core');

  await page.click('#warp');
  const warp = await page.evaluate(async () => {
    const t0 = performance.now();
    const k0 = window.quillane.ticks();
    await new Promise((r) => setTimeout(r, 2000));
    return (window.quillane.ticks() - k0) / 10000 / (performance.now() - t0);
  });
  console.log('warp: ' + warp.toFixed(1) + ' x real time');

  await browser.close();
})();
