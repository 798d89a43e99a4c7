// The page in headless Chromium: it boots the monitor, keeps board time to its clock (a fake one
// here), a link runs a program to the same state as quillane-run with the same arguments, files
// dropped on it load with the desktop's messages, and broken links say why.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { pathToFileURL } = require('url');
const { build, web, nativeRun, quillaneRun } = require('./native.js');
const { openBrowser, drop, typeCommands } = require('./browser.js');

let browser;
test.before(async () => { browser = await openBrowser(); });
test.after(async () => {
  assert.deepStrictEqual(browser.outside, [], 'the page asked for something beyond 127.0.0.1');
  await browser.close();
});

const pngOf = (dataUrl) => Buffer.from(dataUrl.replace(/^data:image\/png;base64,/, ''), 'base64');

test('the page boots the monitor, keeps it running and names its routines', async () => {
  const page = await browser.open('');
  assert.strictEqual(await page.evaluate(() => window.quillane.message()), '');
  const first = await page.evaluate(() => window.quillane.ticks());
  await page.waitForFunction((t) => window.quillane.ticks() > t + 5000000, {}, first);
  // The monitor's banner, as quillane-run shows it after a second.
  const want = nativeRun({ ticks: 10000000 }).text.split('\n')[0];
  assert.strictEqual((await page.evaluate(() => window.quillane.text())).split('\n')[0], want);
  // The console's disassembly of the monitor has the labels the desktop's has.
  const listing = quillaneRun(['--ticks', '0', '--script', '-'], 'disasm 0 6\ndisasm 10 1\n');
  assert.match(listing, /^rom_start:\n.*JP cold_start\n/);
  const out = await typeCommands(page, ['disasm 0 6', 'disasm 10 1']);
  // Without the marks of PC and the commands typed.
  const plain = (text) => text.replace(/^> (?=[0-9A-F]{4} )/gm, '  ').replace(/^> .*\n/gm, '');
  assert.strictEqual(plain(out), plain(listing));
  await page.close();
});

// Stands in for the page's clock before its script runs: performance.now() and the animation
// frames move only by fakeClock.frames(steps); document.hidden follows fakeClock.hide(on).
function fakeClock() {
  let now = 0;
  let hidden = false;
  let waiting = [];
  performance.now = () => now;
  window.requestAnimationFrame = (fn) => waiting.push(fn);
  Object.defineProperty(document, 'hidden', { get: () => hidden });
  window.fakeClock = {
    // Animation frames, each the given milliseconds after the one before; the ticks they ran.
    frames(steps) {
      const first = window.quillane.ticks();
      for (const ms of steps) {
        now += ms;
        const due = waiting;
        waiting = [];
        for (const fn of due) fn(now);
      }
      return window.quillane.ticks() - first;
    },
    hide(on) {
      hidden = on;
      document.dispatchEvent(new Event('visibilitychange'));
    },
  };
}

test('board time follows the page\'s clock; a stall or a hidden tab brings no burst', async () => {
  const page = await browser.open('', undefined, (p) => p.evaluateOnNewDocument(fakeClock));
  const boardMs = async (steps) =>
    (await page.evaluate((s) => window.fakeClock.frames(s), steps)) / 10000;
  const hide = (on) => page.evaluate((on) => window.fakeClock.hide(on), on);
  await boardMs([16.7]);
  // Two seconds of 60 Hz frames, some late, early or dropped.
  const steps = [];
  for (let wall = 0; wall < 2000; wall += steps[steps.length - 1])
    steps.push([16.7, 16.6, 16.7, 33.4, 8.3, 16.7, 50][steps.length % 7]);
  const wall = steps.reduce((a, b) => a + b);
  const board = await boardMs(steps);
  assert.ok(Math.abs(board / wall - 1) < 0.02, board + ' ms of board time in ' + wall + ' ms');
  // A 300 ms stall counts as one 60 Hz frame.
  const stall = await boardMs([300]);
  assert.ok(Math.abs(stall - 1000 / 60) < 0.01, 'a stall ran ' + stall + ' ms');
  // Hidden, the board holds even where frames still come; back, after frames or none (as Chromium
  // gives a hidden tab), it counts from its first frame.
  const back = () => boardMs([1000, ...Array(10).fill(16.7)]);
  await hide(true);
  assert.strictEqual(await boardMs(Array(30).fill(16.7)), 0);
  await hide(false);
  const afterFrames = await back();
  await hide(true);
  await hide(false);
  for (const after of [afterFrames, await back()])
    assert.ok(Math.abs(after - 167) < 0.01, 'back from hiding, ' + after + ' ms ran');
  await page.close();
});

test('keys reach the board by their position', async () => {
  const page = await browser.open('');
  await page.waitForFunction(() => window.quillane.ticks() > 10000000);
  // KeyboardEvent.code names the key; the monitor echoes what it reads.
  for (const key of ['KeyD', 'Space', 'Digit8', 'Digit0', 'Digit0', 'Digit0', 'Enter']) {
    await page.keyboard.down(key);
    await new Promise((resolve) => setTimeout(resolve, 60));
    await page.keyboard.up(key);
    await new Promise((resolve) => setTimeout(resolve, 60));
  }
  await page.waitForFunction(() => /d 8000/i.test(window.quillane.text()));
  await page.close();
});

test('a #hexz link with &type and &ticks ends as quillane-run does', async () => {
  const image = path.join('examples', 'colours.hex');
  const z = zlib.deflateRawSync(fs.readFileSync(path.join(build, image))).toString('base64url');
  const page = await browser.open('#hexz=' + z + '&type=g%208000%5Cn&ticks=25000000');
  const want = nativeRun({ images: [image], type: 'g 8000\\n', ticks: 25000000 });
  const got = await page.evaluate(() => ({
    regs: window.quillane.regs(), text: window.quillane.text(), cells: window.quillane.cells(),
    png: window.quillane.screenshot(), ticks: window.quillane.ticks(),
  }));
  assert.deepStrictEqual(got.regs, want.regs);
  assert.strictEqual(got.text, want.text);
  assert.strictEqual(got.cells, want.cells);
  assert.ok(pngOf(got.png).equals(want.png), 'the screenshot differs');
  // Paused after the run: no tick more.
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.strictEqual(await page.evaluate(() => window.quillane.ticks()), got.ticks);
  await page.close();
});

test('several #hex images load in order, with padding or without', async () => {
  const first = Buffer.from(':01900000AA C5\n:00000001FF\n'.replace(' ', ''));
  const second = Buffer.from(':0190000055 1A\n:00000001FF\n'.replace(' ', ''));
  const page = await browser.open('#hex=' + first.toString('base64') + '&hex=' +
                                  second.toString('base64url') + '&ticks=10');
  assert.strictEqual(await page.evaluate(() => window.quillane.message()), '');
  assert.strictEqual(await page.evaluate(async () => {
    return window.quillane.memory()[0x9000];
  }), 0x55);
  await page.close();
});

test('broken links show their reason and leave the monitor running', async () => {
  const cases = [
    ['#hexz=AAAA', /The link's image 1 is not deflate-raw data/],
    ['#hex=@@', /The link's image 1 is not base64url text/],
    ['#hex=' + Buffer.from(':0190000055FF\n').toString('base64url'),
      /^Unable to load HEX file: link-image-1\.hex: Line 1: bad checksum/],
    ['#ticks=ten', /The link's ticks is not a decimal number: ten/],
    ['#colour=red', /The link has an unknown part: colour/],
  ];
  for (const [suffix, reason] of cases) {
    const page = await browser.open(suffix);
    assert.match(await page.evaluate(() => window.quillane.message()), reason, suffix);
    assert.strictEqual(await page.evaluate(() => window.quillane.memory()[0x9000]), 0, suffix);
    await page.waitForFunction(() => window.quillane.ticks() > 1000000);
    await page.close();
  }
});

test('dropped files load as File > Open loads them, and a bad one is refused whole', async () => {
  const page = await browser.open('#ticks=1000');
  const dropOne = async (name, text) => {
    await drop(page, [[name, text]]);
    return page.evaluate(() =>
      ({ message: window.quillane.message(), byte: window.quillane.memory()[0x9000] }));
  };
  assert.deepStrictEqual(await dropOne('bad.hex', ':01900000AAC5\n:0190010055FF\n'),
    { message: 'Unable to load HEX file: bad.hex: Line 2: bad checksum', byte: 0 });
  assert.deepStrictEqual(await dropOne('good.ihx', ':01900000AAC5\n:00000001FF\n'),
    { message: '', byte: 0xAA });
  const huge = await page.evaluate(async () => {
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(17 * 1024 * 1024)], 'huge.hex'));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true }));
    await new Promise((resolve) => setTimeout(resolve, 200));
    return window.quillane.message();
  });
  assert.strictEqual(huge, 'Unable to load HEX file: huge.hex: too large (17825792 bytes; at most 16 MiB)');
  await page.close();
});

const life = path.join('examples', 'life.ihx');
test('a C program dropped with its .cdb gives the console its globals',
  { skip: !fs.existsSync(path.join(build, life)) && 'SDCC did not build examples/life.ihx' },
  async () => {
    const cdb = life.replace(/ihx$/, 'cdb');
    const z = zlib.deflateRawSync(fs.readFileSync(path.join(build, life))).toString('base64url');
    const page = await browser.open('#hexz=' + z + '&type=g%208000%5Cn&ticks=30000000');
    await drop(page, [life, cdb].map((f) =>
      [path.basename(f), fs.readFileSync(path.join(build, f), 'latin1')]));
    assert.strictEqual(await page.evaluate(() => window.quillane.message()), '');
    const out = await typeCommands(page, ['print generation', 'print population']);
    // The same run in quillane-run, its state printed with the same names.
    const state = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'quillane-life-')), 'life.state');
    quillaneRun([life, '--type', 'g 8000\\n', '--ticks', '30000000', '--save-state', state]);
    const want = quillaneRun(['--state', state, '--symbols', cdb, '--ticks', '0', '--script', '-'],
      'print generation\nprint population\n').split('\n');
    assert.match(want[0], /^generation = [1-9]/);
    const asked = '> print generation\n' + want[0] + '\n> print population\n' + want[1] + '\n';
    assert.ok(out.endsWith(asked), out + '\nhas not\n' + asked);
    fs.rmSync(path.dirname(state), { recursive: true });
    await page.close();
  });

test('the sound path plays the tune example, and a silent board is silent', async () => {
  const image = path.join('examples', 'tune.hex');
  const z = zlib.deflateRawSync(fs.readFileSync(path.join(build, image))).toString('base64url');
  const quiet = await browser.open('#ticks=20000000');
  assert.deepStrictEqual(await quiet.evaluate(() => window.quillane.renderSound(0.5)),
    { peak: 0, sounding: 0 });
  await quiet.close();
  const page = await browser.open('#hexz=' + z + '&type=g%208000%5Cn&ticks=30000000');
  const sound = await page.evaluate(() => window.quillane.renderSound(0.5));
  assert.ok(sound.peak > 0.01 && sound.sounding > 1000, JSON.stringify(sound));
  await page.close();
});

test('the one-file edition opens from disk and follows its link', async () => {
  const url = pathToFileURL(path.join(web, 'quillane.html')).href + '#ticks=10000000';
  const page = await browser.open('', url);
  assert.strictEqual(await page.evaluate(() => window.quillane.message()), '');
  assert.strictEqual(await page.evaluate(() => window.quillane.text()),
    nativeRun({ ticks: 10000000 }).text);
  assert.match(await typeCommands(page, ['disasm 10 1']), /^mon_warm:\n {2}0010 .*JP warm_start$/m);
  await page.close();
});

test('Share puts the loaded images and typed text in a link that loads them again', async () => {
  const page = await browser.open('#type=d%209000%5Cn&ticks=1000');
  await drop(page, [['two.hex', ':02900000AA556F\n:00000001FF\n']]);
  await page.click('#share');
  await page.waitForFunction(() => location.hash.startsWith('#hexz='));
  const url = await page.evaluate(() => location.href);
  assert.match(url, /#hexz=[A-Za-z0-9_-]+&type=d%209000%5Cn$/);
  const again = await browser.open('', url + '&ticks=1000&embed');
  assert.deepStrictEqual((await again.evaluate(() => window.quillane.memory())).slice(0x9000, 0x9002),
    [0xAA, 0x55]);
  // &embed: the screen alone.
  assert.strictEqual(await again.$eval('#toolbar', (bar) => getComputedStyle(bar).display), 'none');
  await again.close();
  await page.close();
});
