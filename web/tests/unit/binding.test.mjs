// What the page relies on in the WebAssembly binding beyond the machine's
// own rules: the display batch that ends where the code view must move, the
// watched registers, and the loader's refusal reported as such.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { Machine } from '../../app/src/machine.js';

const require = createRequire(import.meta.url);
const wasm = new URL('../../../build-web/wasm/web/tavora.js', import.meta.url).pathname;
const createTavora = require(wasm);
// The module's bytes are handed over, so node needs no fetch of a file URL.
const wasmBinary = readFileSync(wasm.replace(/\.js$/, '.wasm'));
const newMachine = async () => new Machine(await createTavora({ wasmBinary }));
const sum = readFileSync(new URL('../../../examples/sum.s', import.meta.url), 'utf8');

async function machineWith(name, text) {
  const machine = await newMachine();
  const result = machine.load(name, text);
  assert.equal(result.ok, true);
  return machine;
}

test('a display batch ends without a stop after the step that leaves the window', async () => {
  const m = await machineWith('sum.s', sum);
  // $800001..$800005 are five steps; the fifth leaves the counter at $800006.
  const r = m.runDisplay(100, 0x800001, 0x800005);
  assert.deepEqual([r.stop, r.steps, r.pc], [null, 5, 0x800006]);
  // Below the window counts as outside too: bnez jumps back to loop.
  const back = m.runDisplay(100, 0x800006, 0x800010);
  assert.deepEqual([back.stop, back.pc], [null, 0x800004]);
});

test('a display batch still stops on a breakpoint, the stop opcode and the idle loop first', async () => {
  const m = await machineWith('sum.s', sum);
  m.toggle('instruction', 0x800003);
  assert.deepEqual([m.runDisplay(100).stop, m.state().pc], ['breakpoint', 0x800003]);
  m.toggle('instruction', 0x800003);
  assert.equal(m.runDisplay(1000).stop, 'idle-loop');
  assert.equal(m.state().regs[1], 39);
});

test('the state names the registers that carry a watch', async () => {
  const m = await machineWith('sum.s', sum);
  assert.equal(m.state().watched.filter(Boolean).length, 0);
  m.toggle('register', 4);
  assert.deepEqual(m.state().watched.map((w, i) => (w ? i : -1)).filter((i) => i >= 0), [4]);
  m.putBreakpoint(-1, { lockPosition: true, position: 0x800020 });
  assert.equal(m.state().watched.filter(Boolean).length, 1);
});

test('an image the loader refuses is reported as invalid with its German message', async () => {
  const m = await newMachine();
  const bad = m.load('kaputt.cod', '.CODE\nxyz\n');
  assert.equal(bad.invalid, true);
  assert.deepEqual(bad.messages, ['Die angegebene Datei einhält ungültige Daten.']);
  const good = m.load('ok.cod', '.CODE\n$800000\n2\n$52455341\n$1000ffff\n');
  assert.equal(good.invalid, false);
  assert.deepEqual(good.messages, []);
});

test('a source finds the files put beside it through .include, and only plain relative paths are taken', async () => {
  const m = await newMachine();
  const lib = readFileSync(new URL('../../../examples/lib/text.s', import.meta.url), 'utf8');
  const strings = readFileSync(new URL('../../../examples/strings.s', import.meta.url), 'utf8');
  assert.equal(m.load('strings.s', strings).ok, false);  // no library yet
  assert.equal(m.putFile('lib/text.s', lib), true);
  for (const bad of ['../text.s', '/etc/x.s', 'lib/../../x.s', 'lib//x.s', '', 'lib/']) {
    assert.equal(m.putFile(bad, 'x'), false, bad);
  }
  assert.equal(m.load('strings.s', strings).ok, true);
  let r;
  do r = m.runFast(0, 20); while (r.stop === 'interrupted');
  assert.equal(r.stop, 'idle-loop');
  assert.equal(m.state().regs[1], 14);
});
