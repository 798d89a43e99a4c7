// The page's audio output: an AudioWorklet that plays the samples the page posts to it, in order,
// and silence when they run out. Loaded from this text as a module (a Blob), so that the one-file
// edition needs no other file.
'use strict';
window.quillaneAudioWorklet = `
class QuillaneStream extends AudioWorkletProcessor {
  constructor(options) {
    super();
    // Samples given at creation play first (an offline rendering has no time for messages).
    const first = options.processorOptions && options.processorOptions.samples;
    this.queue = first ? [first] : [];
    this.at = 0;
    this.port.onmessage = (event) => this.queue.push(event.data);
  }
  process(inputs, outputs) {
    const out = outputs[0][0];
    let i = 0;
    while (i < out.length && this.queue.length) {
      const piece = this.queue[0];
      const n = Math.min(out.length - i, piece.length - this.at);
      out.set(piece.subarray(this.at, this.at + n), i);
      i += n;
      this.at += n;
      if (this.at === piece.length) {
        this.queue.shift();
        this.at = 0;
      }
    }
    out.fill(0, i);
    return true;
  }
}
registerProcessor('quillane-stream', QuillaneStream);
`;
