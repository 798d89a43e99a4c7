// The page around the board: canvas, keys, pacing by animation frames, the toolbar, files dropped
// or opened, links that carry images (#hex=, #hexz=, &type=, &ticks=, &embed), and
// window.quillane for tests.
'use strict';

(function () {
  const CLOCK_HZ = 10000000;
  const TICKS_PER_MS = CLOCK_HZ / 1000;
  // A frame later than this (a hidden tab, a stalled machine) counts as one frame: no burst.
  const LONGEST_FRAME_MS = 100;
  const WARP_SLICE_MS = 12;
  const WARP_BATCH_TICKS = 1000000;
  const TICKS_MODE_BATCH = 5000000;
  const LARGEST_FILE = 16 * 1024 * 1024;
  const CAUSE_NONE = 0;
  const CAUSE_HALT = 8;
  const CAUSE_INVALID = 9;
  const CAUSE_TICKS = 11;
  // Debug information found beside an image, loaded with the console's `symbols`.
  const DEBUG_FILES = /\.(cdb|noi|map|sym|lines)$/i;
  // The monitor's symbols and their line table, beside the ROM; without them the console shows
  // the monitor by address only.
  const MONITOR_DEBUG = ['tessik.sym', 'tessik.lines'];

  const $ = (id) => document.getElementById(id);
  const canvas = $('screen');
  const context = canvas.getContext('2d');
  const image = context.createImageData(320, 240);

  let board = null;
  let api = null;
  // The images loaded since the page opened, for Share: [{name, text}].
  const loaded = [];
  let linkType = '';

  function showMessage(text) {
    $('message').textContent = text;
    $('message').hidden = !text;
  }
  function showStatus(text) { $('status').textContent = text; }

  // --- the link: #hex=B64&hexz=B64&type=TEXT&ticks=N&embed ---------------------------------

  function fromBase64url(text, what) {
    let b64 = text.replace(/-/g, '+').replace(/_/g, '/');
    if (!/^[A-Za-z0-9+/]*={0,2}$/.test(b64) || b64.replace(/=+$/, '').length % 4 === 1)
      throw new Error(what + ' is not base64url text');
    b64 = b64.replace(/=+$/, '');
    while (b64.length % 4) b64 += '=';
    const raw = atob(b64);
    const bytes = new Uint8Array(raw.length);
    for (let i = 0; i < raw.length; ++i) bytes[i] = raw.charCodeAt(i);
    return bytes;
  }

  // In pieces: one call with every byte as an argument overflows the stack.
  function toBase64(bytes) {
    let raw = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      raw += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(raw);
  }

  function toBase64url(bytes) {
    return toBase64(bytes).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  }

  async function inflate(bytes, what) {
    try {
      const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
      return new Uint8Array(await new Response(stream).arrayBuffer());
    } catch (error) {
      throw new Error(what + ' is not deflate-raw data (' + error.message + ')');
    }
  }

  async function deflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // The link's parts; throws with the reason when one is broken.
  async function readLink(hash) {
    const link = { images: [], type: '', ticks: null, embed: false };
    if (hash.length <= 1) return link;
    for (const part of hash.slice(1).split('&')) {
      if (!part) continue;
      const cut = part.indexOf('=');
      const key = cut < 0 ? part : part.slice(0, cut);
      const value = cut < 0 ? '' : part.slice(cut + 1);
      if (key === 'hex' || key === 'hexz') {
        const what = 'The link\'s image ' + (link.images.length + 1);
        let bytes = fromBase64url(value, what);
        if (key === 'hexz') bytes = await inflate(bytes, what);
        if (bytes.length > LARGEST_FILE) throw new Error(what + ' is too large');
        link.images.push(bytes);
      } else if (key === 'type') {
        try {
          link.type += decodeURIComponent(value);
        } catch (error) {
          throw new Error('The link\'s type text is not URL-encoded: ' + value);
        }
      } else if (key === 'ticks') {
        if (!/^[0-9]{1,16}$/.test(value))
          throw new Error('The link\'s ticks is not a decimal number: ' + value);
        link.ticks = Number(value);
      } else if (key === 'embed') {
        link.embed = true;
      } else {
        throw new Error('The link has an unknown part: ' + key);
      }
    }
    return link;
  }

  // --- loading images ------------------------------------------------------------------

  // Loads [{name, bytes}] in order through the desktop's loader; on a failure nothing of them
  // stays in memory and the loader's message is shown.
  function loadImages(files) {
    const names = [];
    for (const f of files) {
      board.FS.writeFile(f.name, f.bytes);
      names.push(f.name);
    }
    const failed = api.load(names.join('\n')) !== 0;
    for (const name of names) board.FS.unlink(name);
    if (failed) {
      showMessage(api.error());
      return false;
    }
    for (const f of files) loaded.push({ name: f.name, text: f.bytes });
    showMessage('');
    showStatus('Loaded ' + names.join(', '));
    return true;
  }

  async function loadFiles(list) {
    const files = [];
    for (const file of list) {
      // Only the name's last part: the in-memory file system takes it as a path.
      const name = file.name.replace(/^.*[\\/]/, '') || 'image.hex';
      if (file.size > LARGEST_FILE) {
        showMessage('Unable to load HEX file: ' + name + ': too large (' + file.size +
                    ' bytes; at most 16 MiB)');
        return;
      }
      files.push({ name, bytes: new Uint8Array(await file.arrayBuffer()) });
    }
    const debug = files.filter((f) => DEBUG_FILES.test(f.name));
    const images = files.filter((f) => !DEBUG_FILES.test(f.name));
    if (images.length && !loadImages(images)) return;
    for (const f of debug) {
      board.FS.writeFile(f.name, f.bytes);
      say(command('symbols ' + f.name));
    }
  }

  // --- downloads and the save dialog -------------------------------------------------------

  function download(name, bytes) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  function result(at) { return board.HEAPU8.slice(at, at + api.resultSize()); }

  // The dialog stays open with the window's message until the fields name a block.
  function onSave(event) {
    if (event.submitter && event.submitter.value === 'cancel') return;
    const at = api.save($('save-start').value, $('save-length').value);
    if (!at) {
      event.preventDefault();
      $('save-error').textContent = api.error();
      return;
    }
    $('save-error').textContent = '';
    download($('save-name').value || 'memory.hex', result(at));
  }

  async function loadState(file) {
    if (file.size > LARGEST_FILE) {
      showMessage(file.name + ': too large (' + file.size + ' bytes; at most 16 MiB)');
      return;
    }
    const name = file.name.replace(/^.*[\\/]/, '') || 'machine.state';
    board.FS.writeFile(name, new Uint8Array(await file.arrayBuffer()));
    const failed = api.stateLoad(name) !== 0;
    board.FS.unlink(name);
    if (failed) {
      showMessage(api.error());
      return;
    }
    target = api.ticks();
    showMessage('');
    showStatus('Continued from ' + name);
  }

  // --- the console --------------------------------------------------------------------------

  function say(text) {
    const out = $('console-out');
    out.textContent += text;
    out.scrollTop = out.scrollHeight;
  }

  function command(line) {
    return api.command(line);
  }

  // continue and pause act on the page's own run; everything else goes to the command language.
  function onCommand(line) {
    say('> ' + line + '\n');
    const word = line.trim().split(/\s+/)[0];
    if (word === 'continue' || word === 'c') {
      paused = false;
      target = api.ticks();
      say('Running\n');
    } else if (word === 'pause') {
      paused = true;
      const pc = JSON.parse(api.regs()).pc;
      say('Paused at ' + pc.toString(16).toUpperCase().padStart(4, '0') + '\n');
    } else {
      say(command(line));
      target = api.ticks();
    }
  }

  function showConsole(on) {
    $('console').hidden = !on;
    $('console-toggle').setAttribute('aria-pressed', String(on));
    if (on) $('console-in').focus();
  }

  // --- running ----------------------------------------------------------------------------

  let paused = false;
  let warp = false;
  let lastFrame = null;
  let target = 0;

  function draw() {
    const at = api.frame();
    image.data.set(board.HEAPU8.subarray(at, at + image.data.length));
    context.putImageData(image, 0, 0);
  }

  function runFor(ms) {
    if (warp) {
      const end = performance.now() + WARP_SLICE_MS;
      let cause;
      do cause = api.runTo(api.ticks() + WARP_BATCH_TICKS);
      while (cause === CAUSE_TICKS && performance.now() < end);
      if (cause !== CAUSE_TICKS && cause !== CAUSE_NONE) {
        paused = true;
        showConsole(true);
        say(api.error() + '\n');
      }
      target = api.ticks();
      return;
    }
    target += ms * TICKS_PER_MS;
    // A run ends at an instruction boundary past the target; the next frame's target is past it.
    if (target < api.ticks() - 100) target = api.ticks();
    const cause = api.runTo(Math.floor(target));
    // A breakpoint or watchpoint set in the console stops the run there.
    if (cause !== CAUSE_TICKS && cause !== CAUSE_NONE) {
      paused = true;
      showConsole(true);
      say(api.error() + '\n');
    }
  }

  function frame(now) {
    // The first timestamp can come before the set-up's clock read: never a negative span.
    let ms = lastFrame === null ? 0 : Math.max(0, now - lastFrame);
    if (ms > LONGEST_FRAME_MS) ms = 1000 / 60;
    // A hidden tab pauses (where the browser still gives it frames); the first frame back
    // counts from there, not from before it hid.
    lastFrame = document.hidden ? null : now;
    if (!document.hidden) {
      if (!paused) runFor(ms);
      feedSound();
      draw();
    }
    requestAnimationFrame(frame);
  }

  // &ticks=N: exactly N T-states (to the first instruction boundary at or past N, stopping
  // earlier at a HALT or an invalid opcode, as quillane-run --ticks), as fast as possible, then
  // paused.
  async function runTicks(total) {
    paused = true;
    api.setStops(1);
    for (;;) {
      const now = api.ticks();
      if (now >= total) break;
      const cause = api.runTo(Math.min(total, now + TICKS_MODE_BATCH));
      if (cause === CAUSE_HALT || cause === CAUSE_INVALID) {
        showStatus(api.error());
        break;
      }
      await new Promise((resolve) => setTimeout(resolve, 0));
    }
    // Run on from the console, the board holds at a HALT as the window's does.
    api.setStops(0);
    draw();
  }

  // --- sound ---------------------------------------------------------------------------------

  const SAMPLE_RATE = 44100;
  // How far ahead of the audio clock the stream is fed.
  const SOUND_LEAD_S = 0.1;
  let audio = null;

  async function connectStream(context, samples) {
    const url = URL.createObjectURL(new Blob([window.quillaneAudioWorklet],
                                             { type: 'text/javascript' }));
    await context.audioWorklet.addModule(url);
    URL.revokeObjectURL(url);
    const node = new AudioWorkletNode(context, 'quillane-stream', {
      numberOfInputs: 0, outputChannelCount: [1], processorOptions: { samples },
    });
    node.connect(context.destination);
    return node;
  }

  // The next count samples of the window's stream, as the audio graph takes them.
  function streamSamples(count) {
    const at = api.sound(count);
    const view = new DataView(board.HEAPU8.buffer, at, count * 2);
    const samples = new Float32Array(count);
    for (let i = 0; i < count; ++i) samples[i] = view.getInt16(i * 2, true) / 32768;
    return samples;
  }

  // Browsers start audio only after a click or a key.
  async function startSound() {
    if (audio) return;
    audio = {};
    const context = new AudioContext({ sampleRate: SAMPLE_RATE });
    api.soundStart();
    audio = { context, node: await connectStream(context), sent: 0 };
    await context.resume();
  }

  // Keeps the stream SOUND_LEAD_S ahead of the audio clock, pulling it on that clock as the
  // window's audio device does. After a stall (a hidden tab) the worklet has played silence for
  // the time missed: only the lead is fed then, so the sound does not lag behind from there on.
  function feedSound() {
    if (!audio || !audio.node) return;
    api.soundMute(paused || warp ? 1 : 0);
    const due = Math.floor((audio.context.currentTime + SOUND_LEAD_S) * SAMPLE_RATE) - audio.sent;
    if (due <= 0) return;
    const count = Math.min(due, Math.ceil(2 * SOUND_LEAD_S * SAMPLE_RATE));
    audio.sent += due;
    audio.node.port.postMessage(streamSamples(count));
  }

  // --- keys -------------------------------------------------------------------------------

  const held = new Map(); // KeyboardEvent.code -> board key

  function onKey(event, down) {
    if (event.target instanceof HTMLInputElement || event.target instanceof HTMLTextAreaElement)
      return;
    if (event.altKey || event.metaKey) return;
    const vk = api.keyCode(event.code);
    if (!vk) return;
    event.preventDefault();
    if (event.repeat) return;
    // The release clears what the press set, whatever modifiers changed in between.
    if (down) {
      held.set(event.code, vk);
      api.key(vk, 1);
    } else if (held.has(event.code)) {
      api.key(held.get(event.code), 0);
      held.delete(event.code);
    }
  }

  function releaseAll() {
    for (const vk of held.values()) api.key(vk, 0);
    held.clear();
  }

  // --- the toolbar ------------------------------------------------------------------------

  async function share() {
    const parts = [];
    for (const image of loaded) parts.push('hexz=' + toBase64url(await deflate(image.text)));
    if (linkType) parts.push('type=' + encodeURIComponent(linkType));
    const url = location.href.replace(/#.*$/, '') + (parts.length ? '#' + parts.join('&') : '');
    history.replaceState(null, '', url);
    try {
      await navigator.clipboard.writeText(url);
      showStatus('The link is in the address bar and on the clipboard');
    } catch (error) {
      showStatus('The link is in the address bar');
    }
  }

  function wire() {
    $('open').addEventListener('click', () => $('file').click());
    $('file').addEventListener('change', async () => {
      await loadFiles($('file').files);
      $('file').value = '';
    });
    $('reset').addEventListener('click', () => {
      api.reset();
      canvas.focus();
    });
    $('warp').addEventListener('click', () => {
      warp = !warp;
      $('warp').setAttribute('aria-pressed', String(warp));
      canvas.focus();
    });
    $('share').addEventListener('click', share);
    $('save').addEventListener('click', () => {
      $('save-error').textContent = '';
      $('save-dialog').showModal();
    });
    $('save-form').addEventListener('submit', onSave);
    $('state-save').addEventListener('click', () => download('quillane.state', result(api.stateSave())));
    $('state-load').addEventListener('click', () => $('state-file').click());
    $('state-file').addEventListener('change', async () => {
      if ($('state-file').files.length) await loadState($('state-file').files[0]);
      $('state-file').value = '';
    });
    $('console-toggle').addEventListener('click', () => showConsole($('console').hidden));
    $('console-in').addEventListener('keydown', (event) => {
      if (event.key !== 'Enter') return;
      onCommand($('console-in').value);
      $('console-in').value = '';
    });
    $('fullscreen').addEventListener('click', () => canvas.requestFullscreen());
    window.addEventListener('pointerdown', startSound);
    window.addEventListener('keydown', startSound);
    window.addEventListener('keydown', (event) => onKey(event, true));
    window.addEventListener('keyup', (event) => onKey(event, false));
    window.addEventListener('blur', releaseAll);
    // Browsers give a hidden tab no frames: the first frame back counts nothing.
    document.addEventListener('visibilitychange', () => { lastFrame = null; });
    document.addEventListener('dragover', (event) => {
      event.preventDefault();
      document.body.classList.add('drop');
    });
    document.addEventListener('dragleave', () => document.body.classList.remove('drop'));
    document.addEventListener('drop', (event) => {
      event.preventDefault();
      document.body.classList.remove('drop');
      loadFiles(event.dataTransfer.files);
    });
  }

  // --- start --------------------------------------------------------------------------------

  let resolveDone;
  const done = new Promise((resolve) => { resolveDone = resolve; });

  function pngDataUrl() {
    const at = api.screenshot();
    return 'data:image/png;base64,' + toBase64(board.HEAPU8.subarray(at, at + api.resultSize()));
  }

  window.quillane = {
    done,
    regs: () => JSON.parse(api.regs()),
    text: () => api.text(),
    cells: () => api.cells(),
    screenshot: pngDataUrl,
    ticks: () => api.ticks(),
    message: () => $('message').hidden ? '' : $('message').textContent,
    console: () => $('console-out').textContent,
    // Renders seconds of the sound stream through the page's audio worklet offline; the largest
    // sample and how many samples are not zero.
    renderSound: async (seconds) => {
      const length = Math.round(seconds * SAMPLE_RATE);
      const context = new OfflineAudioContext(1, length, SAMPLE_RATE);
      if (!audio) api.soundStart();
      await connectStream(context, streamSamples(length));
      const rendered = (await context.startRendering()).getChannelData(0);
      let peak = 0;
      let sounding = 0;
      for (const v of rendered) {
        peak = Math.max(peak, Math.abs(v));
        if (v !== 0) ++sounding;
      }
      return { peak, sounding };
    },
    memory: () => Array.from(result(api.memory())),
  };

  async function start() {
    // The one-file edition carries the wasm and the ROM inside the page.
    const inline = window.quillaneInline;
    board = await createQuillane(inline ? {
      wasmBinary: Uint8Array.from(atob(inline.wasm), (c) => c.charCodeAt(0)),
    } : {});
    const fn = (name, result, args) => board.cwrap(name, result, args);
    api = {
      start: fn('qw_start', 'number', ['string']),
      monitorSymbols: fn('qw_monitor_symbols', 'number', []),
      error: fn('qw_error', 'string', []),
      load: fn('qw_load', 'number', ['string']),
      type: fn('qw_type', 'number', ['string']),
      setStops: fn('qw_set_stops', null, ['number']),
      runTo: fn('qw_run_to', 'number', ['number']),
      ticks: fn('qw_ticks', 'number', []),
      reset: fn('qw_reset', null, []),
      keyCode: fn('qw_key_code', 'number', ['string']),
      key: fn('qw_key', null, ['number', 'number']),
      regs: fn('qw_regs', 'string', []),
      text: fn('qw_text', 'string', []),
      cells: fn('qw_cells', 'string', []),
      screenshot: fn('qw_screenshot', 'number', []),
      resultSize: fn('qw_result_size', 'number', []),
      frame: fn('qw_frame', 'number', []),
      soundStart: fn('qw_sound_start', null, []),
      sound: fn('qw_sound', 'number', ['number']),
      soundMute: fn('qw_sound_mute', null, ['number']),
      memory: fn('qw_memory', 'number', []),
      save: fn('qw_save', 'number', ['string', 'string']),
      stateSave: fn('qw_state_save', 'number', []),
      stateLoad: fn('qw_state_load', 'number', ['string']),
      command: fn('qw_command', 'string', ['string']),
    };
    board.FS.mkdir('/rom');
    if (inline) {
      board.FS.writeFile('/rom/tessik.hex', inline.rom);
      for (const [name, text] of Object.entries(inline.monitorDebug))
        board.FS.writeFile('/rom/' + name, text);
    } else {
      const names = ['tessik.hex', ...MONITOR_DEBUG];
      const files = await Promise.all(names.map((name) => fetch(name)));
      if (!files[0].ok) throw new Error('The monitor ROM tessik.hex did not load: ' + files[0].status);
      for (const [i, file] of files.entries())
        if (file.ok) board.FS.writeFile('/rom/' + names[i], new Uint8Array(await file.arrayBuffer()));
    }
    if (api.start('/rom/tessik.hex') !== 0) throw new Error(api.error());
    if (api.monitorSymbols() !== 0) showMessage(api.error());
    api.setStops(0);
    wire();

    let link = null;
    try {
      link = await readLink(location.hash);
    } catch (error) {
      showMessage(error.message);
    }
    if (link) {
      if (link.embed) document.body.classList.add('embed');
      const images = link.images.map((bytes, i) => ({ name: 'link-image-' + (i + 1) + '.hex', bytes }));
      if ((!images.length || loadImages(images)) && link.type) {
        if (api.type(link.type) !== 0) showMessage(api.error());
        else linkType = link.type;
      }
      if (link.ticks !== null) await runTicks(link.ticks);
    }
    target = api.ticks();
    draw();
    // Milliseconds from the navigation's start to the first frame drawn.
    window.quillane.firstFrame = performance.now();
    requestAnimationFrame(frame);
    resolveDone();
    canvas.focus();
  }

  start().catch((error) => {
    showMessage(error.message);
    resolveDone();
  });
})();
