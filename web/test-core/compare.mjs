// The browser edition computes what the desktop tools compute, byte for
// byte. Every program that the runner's tests use, and a few hostile ones,
// runs three ways:
//   - the native tavora-run;
//   - the same runner compiled to WebAssembly, under node (final state,
//     messages, exit status and commit log must be identical);
//   - the page's own path: the Machine of web/app/src/machine.js, loading
//     the text and running in slices as the page's worker does, its final
//     state printed in the runner's format.
//
//   node compare.mjs --native PATH/tavora-run --wasm-dir BUILD-WEB/wasm
//
// Exit status 77 (skipped, with the reason) when the WebAssembly build is
// missing; 1 on the first difference.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { Machine, hex } from '../app/src/machine.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const args = process.argv.slice(2);
const option = (name) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : undefined;
};
const native = option('--native') ?? path.join(root, 'build/tools/run/tavora-run');
const wasmDir = path.resolve(option('--wasm-dir') ?? path.join(root, 'build-web/wasm'));
const wasmRunner = path.join(wasmDir, 'tools/run/tavora-run.js');
const wasmModule = path.join(wasmDir, 'web/tavora.js');

for (const file of [wasmRunner, wasmModule]) {
  if (!fs.existsSync(file)) {
    console.log(`SKIPPED: ${file} is missing; 'make web' builds the WebAssembly module`);
    process.exit(77);
  }
}
if (!fs.existsSync(native)) {
  console.error(`no native runner at ${native}`);
  process.exit(1);
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavora-web-compare-'));
const write = (name, text) => {
  const file = path.join(dir, name);
  fs.writeFileSync(file, text);
  return file;
};

const programs = [
  ...['sum', 'factorial', 'sort'].flatMap((n) => [`examples/${n}.cod`, `examples/${n}.s`]),
  'hdl/test/every_instruction.cod',
  'hdl/test/wild_jump.cod',
].map((p) => path.join(root, p));
programs.push(
  write('nohdr.cod', '.CODE\n$800001\n1\n$1000FFFF\n'),
  write('nohdr.s', '.code $800001\nloop: beqz R0,loop\n'),
  write('bad.cod', '.CODE\n$800000\n0\n'),
  write('empty.cod', ''),
  write('broken.s', '.code $800000\n.header\naddi R1,R0\nbogus\n'),
  write('overlap.cod', '.CODE\n$800000\n4\n$52455341\n$8C010015\n$8C020013\n$1000FFFF\n' +
    '.DATA\n$10\n4\n$A0\n$A1\n$A2\n$A3\n.DATA\n$12\n4\n$B2\n$B3\n$B4\n$B5\n'),
  // Stores into its own code, and counts past the poll interval of the
  // fast run: a loop of 100,000 rounds ending on the stop opcode.
  write('selfmod.s', [
    '.code $800000', '.header',
    '        addi R01,R00,$7fff', '        add  R01,R01,R01', '        addi R01,R01,$4000',
    '        lw   R05,R30,patch-$800000', '        sw   R05,R30,slot-$800000',
    'loop:   subi R01,R01,1', '        addi R02,R02,3', '        sw   R02,R30,$40',
    '        bnez R01,loop',
    'slot:   addi R03,R00,1', '        .word $c0000000',
    'patch:  addi R03,R00,2', ''].join('\n')),
  write('endless.s', '.code $800000\n.header\nloop: addi R01,R01,1\nsw R01,R30,$30\nbeqz R00,loop\n'),
);

// Option sets, each also run with a commit log. Each has a step limit, as
// endless.s never stops by itself; most never reach it.
const optionSets = [
  ['-n', '1000000'],
  ['-n', '10'],
  ['-n', '65537'],
  ['--bp', 'pc=$800003', '-n', '1000000'],
  ['--bp', 'reg=1', '-n', '1000000'],
  ['--bp', 'reg=1,count=3', '-n', '1000000'],
  ['--bp', 'mem=$800040', '-n', '1000000'],
  ['--bp', 'pc=$800004,count=2', '--bp', 'reg=2,value=0', '-n', '5000'],
  ['-d', '$800000:16', '-d', '$12:3', '-n', '1000000'],
  ['--json', '-n', '50'],
];

let failures = 0, compared = 0;
const fail = (what, a, b) => {
  failures++;
  console.error(`DIFFERENT: ${what}\n--- native\n${a}\n--- webassembly\n${b}`);
};

// Outputs are compared as bytes (latin1 keeps every byte as one character);
// the page's strings are text, compared with the runner's UTF-8.
function run(command, argv, encoding = 'latin1') {
  const r = spawnSync(command, argv, { encoding: 'buffer', maxBuffer: 1 << 28 });
  return { out: r.stdout.toString(encoding), err: r.stderr.toString(encoding), status: r.status };
}

// 1. The runner, native and compiled to WebAssembly.
for (const program of programs) {
  for (const set of optionSets) {
    const logs = [path.join(dir, 'native.log'), path.join(dir, 'wasm.log')];
    for (const log of logs) fs.rmSync(log, { force: true });
    const withLog = (log) => (set.includes('--json') ? set : [...set, '--commit-log', log]);
    const a = run(native, [...withLog(logs[0]), program]);
    const b = run(process.execPath, ['--no-experimental-fetch', wasmRunner, ...withLog(logs[1]), program]);
    const what = `tavora-run ${set.join(' ')} ${path.basename(program)}`;
    compared++;
    if (a.status !== b.status) fail(`${what}: exit status`, a.status, b.status);
    if (a.out !== b.out) fail(`${what}: standard output`, a.out, b.out);
    // The messages name the program; the runner's own name is the same.
    if (a.err !== b.err) fail(`${what}: standard error`, a.err, b.err);
    const la = fs.existsSync(logs[0]) ? fs.readFileSync(logs[0], 'latin1') : null;
    const lb = fs.existsSync(logs[1]) ? fs.readFileSync(logs[1], 'latin1') : null;
    if (la !== lb) fail(`${what}: commit log`, la?.slice(0, 2000), lb?.slice(0, 2000));
  }
}

// 2. The page's path: load from text, breakpoints through the binding, the
// fast run in the smallest slices (every poll ends a slice and the next
// one resumes), the state as the runner prints it.
const createTavora = createRequire(import.meta.url)(wasmModule);
const machine = new Machine(await createTavora());

function pageRun(program, set) {
  const load = machine.load(path.basename(program), fs.readFileSync(program));
  if (!load.ok || load.messages.some((m) => m.includes('ungültig'))) return null;
  machine.clearBreakpoints();
  let maxSteps = 0;
  const dumps = [];
  for (let i = 0; i < set.length; i += 2) {
    const [key, value] = [set[i], set[i + 1]];
    if (key === '-n') maxSteps = Number(value);
    if (key === '-d') {
      const [a, n] = value.split(':');
      dumps.push([parseInt(a.slice(1), 16), Number(n ?? 1)]);
    }
    if (key !== '--bp') continue;
    const bp = {};
    for (const item of value.split(',')) {
      const [k, v] = item.split('=');
      const n = v.startsWith('$') ? parseInt(v.slice(1), 16) : Number(v);
      if (k === 'pc') Object.assign(bp, { useInstruction: true, instruction: n });
      if (k === 'mem') Object.assign(bp, { lockPosition: true, position: n, value: machine.words(n, 1).words[0] });
      if (k === 'reg') Object.assign(bp, { lockRegister: true, register: n, value: machine.state().regs[n] });
      if (k === 'value') Object.assign(bp, { lockValue: true, value: n });
      if (k === 'count') Object.assign(bp, { useCount: true, maxCount: n });
    }
    machine.putBreakpoint(-1, bp);
  }
  let steps = 0, result;
  do {
    result = machine.runFast(maxSteps ? maxSteps - steps : 0, 0);
    steps = result.steps;
  } while (result.stop === 'interrupted');
  const state = machine.state();
  let out = `stop: ${result.stop}\nsteps: ${steps}\nPC  ${hex(state.pc)}\n`;
  state.regs.forEach((v, i) => { out += `R${String(i).padStart(2, '0')} ${hex(v)}\n`; });
  for (const bp of machine.breakpoints()) out += `bp\t${bp.caption}\t${bp.counter}\t${bp.limit}\t${bp.condition}\n`;
  for (const [a, n] of dumps) {
    const words = machine.words(a, n).words;
    words.forEach((w, k) => { out += `${hex(a + k)}: ${hex(w).slice(1)}\n`; });
  }
  return out;
}

for (const program of programs) {
  for (const set of optionSets.filter((s) => !s.includes('--json'))) {
    const page = pageRun(program, set);
    if (page === null) continue;
    const a = run(native, [...set, program], 'utf8');
    compared++;
    if (a.out !== page) fail(`page run ${set.join(' ')} ${path.basename(program)}`, a.out, page);
  }
}

fs.rmSync(dir, { recursive: true, force: true });
console.log(`${compared - failures} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
