// The wasm build in node runs the monitor and each example to the same registers, memory, screen
// and screen text as the native build after the same number of T-states, run in batches as the
// page runs them.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { build, web, nativeRun, examples } = require('./native.js');

async function board() {
  const createQuillane = require(path.join(web, 'quillane.js'));
  // Emscripten 3.1.6's loader would fetch() the file path under node 18+: hand it the bytes.
  const m = await createQuillane({ wasmBinary: fs.readFileSync(path.join(web, 'quillane.wasm')) });
  const call = (name, result, args) => m.cwrap(name, result, args);
  const bytes = (fn) => () => {
    const at = fn();
    return Buffer.from(m.HEAPU8.subarray(at, at + m.cwrap('qw_result_size', 'number', [])()));
  };
  m.FS.writeFile('/tessik.hex', fs.readFileSync(path.join(web, 'tessik.hex')));
  assert.strictEqual(call('qw_start', 'number', ['string'])('/tessik.hex'), 0);
  call('qw_set_stops', null, ['number'])(1);
  return {
    m,
    load: call('qw_load', 'number', ['string']),
    error: call('qw_error', 'string', []),
    type: call('qw_type', 'number', ['string']),
    runTo: call('qw_run_to', 'number', ['number']),
    ticks: call('qw_ticks', 'number', []),
    regs: () => JSON.parse(call('qw_regs', 'string', [])()),
    text: call('qw_text', 'string', []),
    cells: call('qw_cells', 'string', []),
    png: bytes(call('qw_screenshot', 'number', [])),
    memory: bytes(call('qw_memory', 'number', [])),
  };
}

const TICKS = 20000000;
const runs = [{ name: 'the monitor', images: [], type: null },
  ...examples().map((image) => ({ name: image, images: [image], type: 'g 8000\\n' }))];

for (const run of runs) {
  test('wasm equals native: ' + run.name, async () => {
    const want = nativeRun({ ...run, ticks: TICKS });
    const b = await board();
    for (const image of run.images) {
      const name = path.basename(image);
      b.m.FS.writeFile(name, fs.readFileSync(path.join(build, image)));
      assert.strictEqual(b.load(name), 0, b.error());
    }
    if (run.type !== null) assert.strictEqual(b.type(run.type), 0, b.error());
    // Uneven batches, as animation frames give them.
    for (let t = 0; b.ticks() < TICKS; t += 166667 + (t % 7919)) b.runTo(Math.min(TICKS, t));
    assert.deepStrictEqual(b.regs(), want.regs);
    assert.strictEqual(b.cells(), want.cells);
    assert.strictEqual(b.text(), want.text);
    assert.ok(b.png().equals(want.png), 'the screenshot differs');
    assert.ok(b.memory().equals(want.memory), 'memory differs');
  });
}

test('a broken image leaves memory as it was and names the reason', async () => {
  const b = await board();
  const before = b.memory();
  // A good first record, then one whose checksum is wrong: the loader keeps the first.
  b.m.FS.writeFile('bad.hex', ':01800000552A\n:0180010055FF\n:00000001FF\n');
  assert.strictEqual(b.load('bad.hex'), 1);
  assert.match(b.error(), /^Unable to load HEX file: bad\.hex: Line 2: /);
  assert.ok(b.memory().equals(before));
});
