// The page's files in headless Chromium: Save writes the HEX the window writes, with the save
// dialog's checks; a state saved in the page continues in quillane-run as the run it came from;
// a state that is not one is refused with its reason; the console runs the command language.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { build, quillaneRun } = require('./native.js');
const { openBrowser, typeCommands } = require('./browser.js');

let browser;
const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'quillane-downloads-'));
test.before(async () => { browser = await openBrowser(); });
test.after(async () => {
  await browser.close();
  fs.rmSync(downloads, { recursive: true, force: true });
});

const link = (image) => '#hex=' + fs.readFileSync(path.join(build, image)).toString('base64url');

// Downloads of the page go to a folder of their own; resolves with the file's bytes.
async function downloaded(page, name, click) {
  const dir = fs.mkdtempSync(path.join(downloads, 'd'));
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: dir });
  await click();
  const file = path.join(dir, name);
  for (let i = 0; i < 200 && !fs.existsSync(file); ++i) await new Promise((r) => setTimeout(r, 50));
  return fs.readFileSync(file);
}

async function fillSave(page, start, length) {
  await page.click('#save');
  for (const [id, value] of [['#save-start', start], ['#save-length', length]]) {
    await page.$eval(id, (field, value) => { field.value = value; }, value);
  }
}

test('Save refuses the fields the window refuses and writes the HEX the window writes', async () => {
  const image = path.join('examples', 'colours.hex');
  const page = await browser.open(link(image) + '&ticks=1000');
  for (const [start, length, reason] of [
    ['12345', '10', 'Start address should be a valid hexadecimal number.'],
    ['8000', '1g', 'Length should be a valid hexadecimal number.'],
    ['FFFF', '2', 'Memory block should be at least one byte and not exceed 64K address space.'],
  ]) {
    await fillSave(page, start, length);
    await page.click('#save-form button[value="save"]');
    assert.strictEqual(await page.$eval('#save-error', (e) => e.textContent), reason);
    assert.ok(await page.$eval('#save-dialog', (d) => d.open), 'the dialog stays open');
    await page.click('#save-form button[value="cancel"]');
  }
  await fillSave(page, '8000', '140');
  const bytes = await downloaded(page, 'memory.hex',
    () => page.click('#save-form button[value="save"]'));
  const want = path.join(downloads, 'want.hex');
  quillaneRun([image, '--ticks', '1000', '--dump', '8000', '140', want]);
  assert.ok(bytes.equals(fs.readFileSync(want)), 'the saved HEX differs');
  await page.close();
});

test('a state saved in the page continues in quillane-run as the run it came from', async () => {
  const image = path.join('examples', 'starfall.hex');
  const page = await browser.open(link(image) + '&type=g%208000%5Cn&ticks=30000000');
  const state = await downloaded(page, 'quillane.state', () => page.click('#state-save'));
  const file = path.join(downloads, 'page.state');
  fs.writeFileSync(file, state);
  const continued = quillaneRun(['--state', file, '--ticks', '10000000', '--regs', '--cells']);
  const whole = quillaneRun([image, '--type', 'g 8000\\n', '--ticks', '40000000', '--regs', '--cells']);
  assert.strictEqual(continued, whole);
  await page.close();
});

test('a state from quillane-run loads in the page, and a file that is not one is refused', async () => {
  const file = path.join(downloads, 'run.state');
  quillaneRun([path.join('examples', 'colours.hex'), '--type', 'g 8000\\n', '--ticks', '20000000',
    '--save-state', file]);
  const want = quillaneRun(['--state', file, '--ticks', '0', '--text']);
  const junk = path.join(downloads, 'junk.state');
  fs.writeFileSync(junk, 'not a state\n');
  const page = await browser.open('#ticks=1000');
  const before = await page.evaluate(() => window.quillane.regs());
  const input = await page.$('#state-file');
  await input.uploadFile(junk);
  await page.waitForFunction(() => window.quillane.message() !== '');
  assert.match(await page.evaluate(() => window.quillane.message()), /^junk\.state: /);
  assert.deepStrictEqual(await page.evaluate(() => window.quillane.regs()), before);
  await input.uploadFile(file);
  await page.waitForFunction(() => window.quillane.message() === '');
  // Paused by &ticks, the page shows the state's screen.
  assert.strictEqual((await page.evaluate(() => window.quillane.text())).split('\n')[0],
    want.split('\n')[0]);
  await page.close();
});

test('the console runs the command language on the page\'s machine', async () => {
  const page = await browser.open('#ticks=1000');
  const out = await typeCommands(page, ['poke 9000 42 43', 'mem 9000 2', 'frobnicate']);
  assert.match(out, /> mem 9000 2\n9000 {2}42 43 /);
  assert.match(out, /> frobnicate\nUnknown command: frobnicate/);
  assert.deepStrictEqual((await page.evaluate(() => window.quillane.memory())).slice(0x9000, 0x9002),
    [0x42, 0x43]);
  await page.close();
});
