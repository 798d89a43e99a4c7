// An editor attached to the window (quillane --dap-port N stepping.ihx, started by
// tests/e2e/test_dap_attach.sh under Xvfb): pause and continue the running board, a second client
// refused while one is attached; then the client sets breakpoints and continues while the window's
// keys step (F10 Step over, Shift+F11 Step out, F11 Step into a call through a pointer, Shift+F10
// Step back, Shift+F8 Reverse continue), and every stop the client hears of is the stepping
// scenario's place (tests/stepping_scenarios.h): the frame, the line of stepping.c and the
// parameters equal to the arguments.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const port = Number(process.env.QUILLANE_DAP_PORT);

// A client attached to the window; the caller stops it. The window refuses a client while it has
// not yet seen the one before go: then it tries again.
async function attached() {
    for (let tries = 1; ; tries++) {
        const dc = new DebugClient('unused', 'unused', 'quillane');
        dc.defaultTimeout = 3000;
        await dc.start(port);
        try {
            await dc.initializeRequest();
            await dc.attachRequest({});
            dc.defaultTimeout = 20000;
            return dc;
        } catch (error) {
            await dc.stop();
            if (tries === 10) throw error;
            await new Promise((resolve) => setTimeout(resolve, 300));
        }
    }
}

async function pause(dc) {
    const [, stopped] = await Promise.all([
        dc.pauseRequest({ threadId: 1 }),
        dc.waitForEvent('stopped'),
    ]);
    assert.strictEqual(stopped.body.reason, 'pause');
    const regs = await dc.evaluateRequest({ expression: '>regs', context: 'repl' });
    return JSON.parse(regs.body.result).ticks;
}

test('the window is paused and continued by an attached client', async () => {
    const dc = await attached();
    try {
        const first = await pause(dc);
        // While paused the board's clock stands still.
        const regs = await dc.evaluateRequest({ expression: '>regs', context: 'repl' });
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

const source = path.join(process.env.QUILLANE_SOURCE_DIR, 'tests/c/stepping.c');
const lines = fs.readFileSync(source, 'utf8').split('\n');
const line = (mark) => lines.findIndex((text) => text.includes(`@${mark} `)) + 1;

// Presses a key in the debugger window, as a user does.
function press(key) {
    const window = execFileSync('xdotool', ['search', '--onlyvisible', '--name', '^Quillane Debugger$'])
        .toString().trim().split('\n')[0];
    execFileSync('xdotool', ['windowfocus', '--sync', window]);
    execFileSync('xdotool', ['key', '--window', window, key]);
}

// The innermost frame and its locals where the client was told the machine stopped.
async function seen(dc) {
    const frame = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0];
    const scopes = (await dc.scopesRequest({ frameId: frame.id })).body.scopes;
    const locals = scopes.find((s) => s.name === 'Locals').variablesReference;
    const values = {};
    for (const v of (await dc.variablesRequest({ variablesReference: locals })).body.variables)
        values[v.name] = v.value;
    return { name: frame.name, line: frame.line, values };
}

async function expectStop(dc, what, action, name, mark, values = {}) {
    await Promise.all([dc.waitForEvent('stopped'), action()]);
    const at = await seen(dc);
    assert.strictEqual(at.name, name, what);
    assert.strictEqual(at.line, typeof mark === 'number' ? mark : line(mark), what);
    for (const [variable, shown] of Object.entries(values))
        assert.ok(at.values[variable].startsWith(shown), `${what}: ${variable} = ${at.values[variable]}`);
}

const clear = (dc) => Promise.all([
    dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [] }),
    dc.setFunctionBreakpointsRequest({ breakpoints: [] }),
]);

test('the window\'s keys step where the scenarios stop', { skip: !process.env.QUILLANE_STEPPING }, async () => {
    const dc = await attached();
    try {
        await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'scale' }] });
        await expectStop(dc, 'function breakpoint',
            () => dc.evaluateRequest({ expression: '>type g 8000\\n', context: 'repl' }),
            'scale', 'scale', { amount: '1 (', factor: '3 (' });
        await clear(dc);
        await expectStop(dc, 'step over', () => press('F10'), 'scale', line('scale') + 1);
        await expectStop(dc, 'step out', () => press('shift+F11'), 'main', 'direct');
        await dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [{ line: line('pointer') }] });
        await expectStop(dc, 'line breakpoint', () => dc.continueRequest({ threadId: 1 }), 'main', 'pointer');
        await clear(dc);
        await expectStop(dc, 'step into a call through a pointer', () => press('F11'),
            'scale', 'scale', { amount: '5 (', factor: '7 (' });
        await dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [{ line: line('after') }] });
        await expectStop(dc, 'to @after', () => dc.continueRequest({ threadId: 1 }), 'main', 'after');
        await clear(dc);
        await expectStop(dc, 'reverse step by line', () => press('shift+F10'), 'choose', 'choose_end');
        await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'scale', condition: 'amount == 3' }] });
        await expectStop(dc, 'conditional breakpoint in reverse', () => press('shift+F8'),
            'scale', 'scale', { amount: '3 (', factor: '3 (' });
        await clear(dc);
        await dc.continueRequest({ threadId: 1 });
    } finally {
        await dc.stop();
    }
});
