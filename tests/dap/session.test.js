// A debugging session as an editor runs it, through Microsoft's DAP test client, on the C fixture
// tests/c/debuginfo.c built with qcc: breakpoints on C lines, the call stack, locals, stepping,
// a data breakpoint, disassembly and memory, and the program's end.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const build = process.env.QUILLANE_BUILD_DIR;
const sourceDir = path.join(process.env.QUILLANE_SOURCE_DIR, 'tests', 'c');
const source = path.join(sourceDir, 'debuginfo.c');
const lines = fs.readFileSync(source, 'utf8').split('\n');
const lineOf = (mark) => lines.findIndex((text) => text.includes('/* @' + mark)) + 1;

const launchArgs = {
    program: path.join(build, 'tests', 'c', 'debuginfo.ihx'),
    rom: path.join(build, 'tessik.hex'),
    type: 'g 8000\\n',
    sourceDirs: [sourceDir],
};

async function topFrames(dc) {
    const trace = await dc.stackTraceRequest({ threadId: 1 });
    return trace.body.stackFrames;
}

test('a C program debugged from breakpoint to its end', async () => {
    const dc = new DebugClient('sh', path.join(__dirname, 'adapter.sh'), 'quillane');
    dc.defaultTimeout = 20000;
    await dc.start();
    try {
        const body = lineOf('body');
        // A breakpoint on a C line is verified at that line and hit there, on the pass where its
        // condition holds (i counts the points; numbers are decimal, as in C).
        await Promise.all([
            dc.waitForEvent('initialized').then(async () => {
                const set = await dc.setBreakpointsRequest({
                    source: { path: source },
                    breakpoints: [{ line: body, condition: 'i == 2' }],
                });
                assert.strictEqual(set.body.breakpoints[0].verified, true);
                assert.strictEqual(set.body.breakpoints[0].line, body);
                return dc.configurationDoneRequest();
            }),
            dc.launch(launchArgs),
            dc.assertStoppedLocation('breakpoint', { path: source, line: body }),
        ]);

        // The stack: sum_points at the breakpoint's line, main below it at the line of the call.
        let frames = await topFrames(dc);
        assert.strictEqual(frames[0].name, 'sum_points');
        assert.match(frames[0].instructionPointerReference, /^0x[0-9A-F]{4}$/);
        assert.strictEqual(frames[1].name, 'main');
        assert.strictEqual(frames[1].line, lineOf('call'));
        // Paged as editors ask for a deep stack: the second frame alone, with the stack's height.
        const paged = await dc.stackTraceRequest({ threadId: 1, startFrame: 1, levels: 1 });
        assert.deepStrictEqual(paged.body.stackFrames.map((f) => f.name), ['main']);
        assert.strictEqual(paged.body.totalFrames, frames.length);

        // Locals: count is the call's 3, and the condition held.
        const scopes = await dc.scopesRequest({ frameId: frames[0].id });
        const locals = scopes.body.scopes.find((s) => s.name === 'Locals');
        const vars = await dc.variablesRequest({ variablesReference: locals.variablesReference });
        const count = vars.body.variables.find((v) => v.name === 'count');
        assert.ok(count && /^3 /.test(count.value), JSON.stringify(vars.body.variables));
        const i = vars.body.variables.find((v) => v.name === 'i');
        assert.ok(i && /^2 /.test(i.value), JSON.stringify(vars.body.variables));

        // Over the line with the call of twice: on to the loop's step, still in sum_points.
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        frames = await topFrames(dc);
        assert.strictEqual(frames[0].name, 'sum_points');
        assert.strictEqual(frames[0].line, lineOf('for'));

        // A data breakpoint on the global total stops once main has written all of it.
        await dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [] });
        const info = await dc.dataBreakpointInfoRequest({ name: 'total' });
        assert.ok(info.body.dataId, JSON.stringify(info.body));
        const data = await dc.setDataBreakpointsRequest({
            breakpoints: [{ dataId: info.body.dataId, accessType: 'write' }],
        });
        assert.strictEqual(data.body.breakpoints[0].verified, true);
        const [, stopped] = await Promise.all([
            dc.continueRequest({ threadId: 1 }),
            dc.waitForEvent('stopped'),
        ]);
        assert.strictEqual(stopped.body.reason, 'data breakpoint');
        // Watched as the C object it is: the whole long's old and new values.
        assert.match(stopped.body.description, /total: 0 \(\$00000000\) -> 546 \(/);
        frames = await topFrames(dc);
        assert.strictEqual(frames[0].name, 'main');

        // Disassembly at the frame's address, and memory: greeting's bytes are "hello".
        const pc = frames[0].instructionPointerReference;
        const dis = await dc.disassembleRequest({ memoryReference: pc, instructionCount: 3 });
        assert.strictEqual(dis.body.instructions.length, 3);
        assert.strictEqual(dis.body.instructions[0].address, pc);
        const greeting = await dc.evaluateRequest({ expression: 'greeting', context: 'hover' });
        const memory = await dc.customRequest('readMemory', {
            memoryReference: greeting.body.memoryReference,
            count: 5,
        });
        assert.strictEqual(Buffer.from(memory.body.data, 'base64').toString(), 'hello');

        // Writes: memory (base64), and a register through the Registers scope.
        await dc.customRequest('writeMemory', {
            memoryReference: greeting.body.memoryReference,
            data: Buffer.from('J').toString('base64'),
        });
        const scopes2 = await dc.scopesRequest({ frameId: frames[0].id });
        const registers = scopes2.body.scopes.find((s) => s.name === 'Registers');
        await dc.setVariableRequest({
            variablesReference: registers.variablesReference, name: 'bc', value: '$1234',
        });
        const regs = await dc.variablesRequest({ variablesReference: registers.variablesReference });
        assert.strictEqual(regs.body.variables.find((v) => v.name === 'bc').value, '$1234');
        const written = await dc.evaluateRequest({ expression: 'greeting[0]', context: 'hover' });
        assert.match(written.body.result, /'J'/);

        // No breakpoints left: the program runs to its end.
        await dc.setDataBreakpointsRequest({ breakpoints: [] });
        await Promise.all([
            dc.continueRequest({ threadId: 1 }),
            dc.waitForEvent('exited'),
            dc.waitForEvent('terminated'),
        ]);
    } finally {
        await dc.stop();
    }
});

test('a running program is paused, inspected from the REPL and left', async () => {
    const dc = new DebugClient('sh', path.join(__dirname, 'adapter.sh'), 'quillane');
    dc.defaultTimeout = 20000;
    await dc.start();
    try {
        // Nothing typed: the monitor waits for keys for ever, so only a pause stops it.
        const args = { ...launchArgs, type: '' };
        await Promise.all([dc.configurationSequence(), dc.launch(args)]);
        const [, stopped] = await Promise.all([
            dc.pauseRequest({ threadId: 1 }),
            dc.waitForEvent('stopped'),
        ]);
        assert.strictEqual(stopped.body.reason, 'pause');
        // The REPL runs the command language: `regs` answers with the registers.
        const regs = await dc.evaluateRequest({ expression: '>regs', context: 'repl' });
        const pc = JSON.parse(regs.body.result).pc;
        const frames = await topFrames(dc);
        assert.strictEqual(frames[0].instructionPointerReference,
            '0x' + pc.toString(16).toUpperCase().padStart(4, '0'));
        // A breakpoint set from the REPL reaches the client as a breakpoint event.
        const [, added] = await Promise.all([
            dc.evaluateRequest({ expression: '-exec break sum_points', context: 'repl' }),
            dc.waitForEvent('breakpoint'),
        ]);
        assert.strictEqual(added.body.reason, 'new');
        assert.strictEqual(added.body.breakpoint.source.name, 'debuginfo.c');
        // A command in error is a failed request with the command's message.
        await assert.rejects(dc.evaluateRequest({ expression: '>frobnicate', context: 'repl' }));
    } finally {
        // Disconnects (the adapter ends) and stops the client.
        await dc.stop();
    }
});
