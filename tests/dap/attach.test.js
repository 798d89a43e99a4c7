// An editor attached to the window (quillane --dap-port N, started by tests/e2e/test_dap_attach.sh):
// pause and continue the running board, and a second client refused while one is attached.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const net = require('node:net');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const port = Number(process.env.QUILLANE_DAP_PORT);

async function pause(dc) {
    const [, stopped] = await Promise.all([
        dc.pauseRequest({ threadId: 1 }),
        dc.waitForEvent('stopped'),
    ]);
    assert.strictEqual(stopped.body.reason, 'pause');
    const regs = await dc.evaluateRequest({ expression: 'regs', context: 'repl' });
    return JSON.parse(regs.body.result).ticks;
}

test('the window is paused and continued by an attached client', async () => {
    const dc = new DebugClient('unused', 'unused', 'quillane');
    dc.defaultTimeout = 20000;
    await dc.start(port);
    try {
        await dc.initializeRequest();
        await dc.attachRequest({});
        const first = await pause(dc);
        // While paused the board's clock stands still.
        const regs = await dc.evaluateRequest({ expression: 'regs', context: 'repl' });
        assert.strictEqual(JSON.parse(regs.body.result).ticks, first);
        const frames = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
        assert.match(frames[0].instructionPointerReference, /^0x[0-9A-F]{4}$/);

        // A second client is told another one is attached, and closed.
        const refusal = await new Promise((resolve, reject) => {
            let text = '';
            const socket = net.connect(port, '127.0.0.1');
            socket.on('data', (data) => { text += data; });
            socket.on('close', () => resolve(text));
            socket.on('error', reject);
        });
        assert.match(refusal, /another debugger client is attached/);

        await dc.continueRequest({ threadId: 1 });
        await new Promise((resolve) => setTimeout(resolve, 300));
        assert.ok(await pause(dc) > first, 'the board ran between the pauses');
        await dc.continueRequest({ threadId: 1 });
    } finally {
        await dc.stop();
    }
});
