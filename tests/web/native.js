// What the native build gives for a run, and the page's build, for the tests of the browser
// edition. QUILLANE_BUILD and QUILLANE_WEB name the two build folders (make web-test sets them).
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '../..');
const build = process.env.QUILLANE_BUILD || path.join(root, 'build');
const web = process.env.QUILLANE_WEB || path.join(root, 'build-web');

// Runs quillane-run with the images (build-relative paths), typed text and a tick count; gives
// its registers (parsed), text, cells, screenshot PNG and memory.
function nativeRun({ images = [], type = null, ticks }) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillane-web-'));
  const args = [...images, '--ticks', String(ticks), '--regs', '--cells',
    '--screenshot', path.join(dir, 'screen.png'), '--dump', '0', '10000', path.join(dir, 'memory.bin')];
  if (type !== null) args.push('--type', type);
  const out = execFileSync(path.join(build, 'quillane-run'), args, { cwd: build }).toString();
  const lines = out.split('\n');
  const result = {
    regs: JSON.parse(lines[0]),
    cells: lines.slice(1, 25).join('\n') + '\n',
    png: fs.readFileSync(path.join(dir, 'screen.png')),
    memory: fs.readFileSync(path.join(dir, 'memory.bin')),
    text: execFileSync(path.join(build, 'quillane-run'),
      [...images, '--ticks', String(ticks), '--text', ...(type !== null ? ['--type', type] : [])],
      { cwd: build }).toString(),
  };
  fs.rmSync(dir, { recursive: true });
  return result;
}

// The example images the native build made: the assembled ones, and the C ones where SDCC built
// them.
function examples() {
  const dir = path.join(build, 'examples');
  return fs.readdirSync(dir).filter((f) => /\.(hex|ihx)$/.test(f)).sort()
    .map((f) => path.join('examples', f));
}

// quillane-run with these arguments (from the build folder) and standard input; its standard
// output.
function quillaneRun(args, input = '') {
  return execFileSync(path.join(build, 'quillane-run'), args, { cwd: build, input }).toString();
}

module.exports = { build, web, nativeRun, quillaneRun, examples };
