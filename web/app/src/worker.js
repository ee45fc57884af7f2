// The page's machine lives here, so that no run can block the page. The
// page sends { id, cmd, args } and gets { id, result } (or { id, error });
// during a run the worker also sends { event: 'frame' | 'progress', snapshot }.
// A snapshot holds what the page draws: the state, the visible code lines,
// each open inspector's words and the breakpoint rows.
/* global createTavora, importScripts */
import { Machine } from './machine.js';

importScripts('tavora.js');

const ResetTop = 0x7ffffe;      // two words above the image, as after the desktop's reset
const FastSliceMs = 15;         // one slice of the fast run; Anhalten waits at most this long
const ProgressMs = 100;         // how often a fast run shows registers and inspectors
const FrameBudgetMs = 8;        // work per display frame at the fastest speed

let machine = null;
const view = { top: ResetTop, rows: 20, symbols: true, source: false, inspectors: [] };
let run = null;   // { mode, stopRequested, speed, ... } while a run goes on

const post = (message) => self.postMessage(message);

// A macrotask that does not wait for the 4 ms clamp of nested timers, so
// the fast run yields to incoming messages (Anhalten) between slices.
const channel = new MessageChannel();
const queued = [];
channel.port1.onmessage = () => queued.shift()?.();
function yieldThen(fn) {
  queued.push(fn);
  channel.port2.postMessage(0);
}

const signed = (v) => v | 0;

// Address of the code view's line `line` (label lines count as lines).
function lineAddress(line) {
  if (line < 0) return signed(view.top + line);
  const lines = machine.listing(view.top, line + 1, view.symbols, false);
  return signed(lines[line].address);
}

// The desktop's FollowPC: a counter above the view puts it on the third
// line, one past the third-last whole line puts it on the sixth.
function followPC(pc) {
  pc = signed(pc);
  if (pc < signed(view.top)) view.top = (pc - 2) >>> 0;
  if (pc > lineAddress(view.rows - 3)) view.top = (pc - 5) >>> 0;
}

function snapshot({ code = true } = {}) {
  const snap = { state: machine.state(), breakpoints: machine.breakpoints(), inspectors: {} };
  if (code) {
    snap.top = view.top;
    snap.code = machine.listing(view.top, view.rows + 1, view.symbols, view.source);
  }
  for (const inspector of view.inspectors) {
    snap.inspectors[inspector.id] = { address: inspector.address, ...machine.words(inspector.address, inspector.count) };
  }
  return snap;
}

// A number or label expression as the assembler reads it.
function evaluate(text) {
  return machine.evaluate(String(text).trim());
}

// Loads like the desktop's open: the loader, then Zurücksetzen. A source
// with errors changes nothing. Messages the reset repeats are shown once.
function load({ name, bytes }) {
  const result = machine.load(name, bytes);
  if (result.ok) {
    const reset = machine.reset();
    for (const m of reset.messages) if (!result.messages.includes(m)) result.messages.push(m);
    view.top = ResetTop;
  }
  return { ...result, snapshot: snapshot() };
}

function endRun(stop) {
  const r = run;
  run = null;
  // The fast run moves the code view once, at its end, however it ended.
  if (r.mode === 'fast') followPC(machine.state().pc);
  const snap = snapshot();
  r.resolve({ stop, steps: snap.state.steps - r.startSteps, snapshot: snap });
}

// Starten: each frame runs the steps that are due at the chosen speed (or
// as many as fit the frame at the fastest), following the counter after
// every step as the desktop does, then waits for the page's ack.
function displayFrame() {
  if (!run) return;
  if (run.stopRequested) return endRun('interrupted');
  const now = performance.now();
  let count;
  if (run.speed > 0) {
    const due = Math.floor((now - run.started) * run.speed / 1000) + 1 - run.done;
    if (due <= 0) {
      const wait = Math.max(1, (run.done / run.speed) * 1000 - (now - run.started));
      setTimeout(displayFrame, Math.min(wait, 50));
      return;
    }
    count = Math.min(due, 1 << 20);
  } else {
    count = run.batch;
  }
  const deadline = now + FrameBudgetMs;
  let stop = null;
  let done = 0;
  let total = run.total;
  while (done < count) {
    const low = signed(view.top);
    const high = lineAddress(view.rows - 3);
    const r = machine.runDisplay(count - done, low, high);
    done += r.steps - total;
    total = r.steps;
    followPC(r.pc);
    if (r.stop) { stop = r.stop; break; }
    if (performance.now() > deadline) break;
  }
  run.done += done;
  run.total = total;
  if (run.speed <= 0) {
    // Grow or shrink the batch so one frame's steps take about the budget.
    const spent = performance.now() - now;
    run.batch = spent < FrameBudgetMs / 2 ? Math.min(run.batch * 2, 1 << 22) : Math.max(16, Math.floor(run.batch * 0.75));
  }
  if (stop) return endRun(stop);
  run.awaitingAck = true;
  post({ event: 'frame', snapshot: snapshot() });
}

function fastSlice() {
  if (!run) return;
  if (run.stopRequested) return endRun('interrupted');
  const r = machine.runFast(0, FastSliceMs);
  if (r.stop !== 'interrupted') return endRun(r.stop);
  const now = performance.now();
  if (now - run.lastProgress >= ProgressMs) {
    run.lastProgress = now;
    post({ event: 'progress', snapshot: snapshot({ code: false }) });
  }
  yieldThen(fastSlice);
}

function startRun(mode, speed) {
  if (run) throw new Error('busy');
  return new Promise((resolve) => {
    run = {
      mode, speed: speed || 0, resolve, stopRequested: false, startSteps: machine.state().steps, total: machine.state().steps,
      started: performance.now(), done: 0, batch: 256, lastProgress: performance.now(), awaitingAck: false,
    };
    if (mode === 'fast') yieldThen(fastSlice);
    else yieldThen(displayFrame);
  });
}

// Commands that would change the machine under a run are refused while one goes on.
const notWhileRunning = new Set(['load', 'reset', 'step', 'run', 'setBreakpoints']);

const commands = {
  async init() {
    machine = new Machine(await createTavora());
    return { info: machine.info };
  },
  load,
  putFile({ path, text }) { return machine.putFile(path, text); },
  // The code view's top comes only when the page moved it itself; otherwise
  // the worker's own (which follows the counter) stays.
  view(next) {
    if (next.top === undefined) delete next.top;
    Object.assign(view, next);
    view.rows = Math.max(1, Math.min(200, view.rows | 0));
    return snapshot({ code: !run || run.mode !== 'fast' });
  },
  snapshot() { return snapshot({ code: !run || run.mode !== 'fast' }); },
  reset() {
    const r = machine.reset();
    view.top = ResetTop;
    return { messages: r.messages, snapshot: snapshot() };
  },
  step() {
    const r = machine.step();
    followPC(r.pc);
    return { snapshot: snapshot() };
  },
  run({ mode, speed }) { return startRun(mode, speed); },
  speed({ speed }) {
    if (run && run.mode === 'display') {
      // Count from here at the new speed.
      run.speed = speed || 0;
      run.started = performance.now();
      run.done = 0;
    }
    return null;
  },
  ack() {
    if (run && run.mode === 'display' && run.awaitingAck) {
      run.awaitingAck = false;
      displayFrame();
    }
    return null;
  },
  stop() {
    if (run) {
      run.stopRequested = true;
      // A display run waiting for its ack ends at once.
      if (run.mode === 'display' && run.awaitingAck) endRun('interrupted');
    }
    return null;
  },
  follow() {
    followPC(machine.state().pc);
    return snapshot();
  },
  setReg({ index, text }) {
    const value = evaluate(text);
    if (value.ok) machine.setReg(index, value.value);
    return { ...value, snapshot: snapshot({ code: !run || run.mode !== 'fast' }) };
  },
  writeWord({ address, text }) {
    const value = evaluate(text);
    if (value.ok) machine.writeWord(address, value.value);
    return { ...value, snapshot: snapshot({ code: !run || run.mode !== 'fast' }) };
  },
  evaluate({ text }) { return evaluate(text); },
  toggle({ kind, key }) {
    const created = machine.toggle(kind, key);
    return { created, snapshot: snapshot({ code: !run || run.mode !== 'fast' }) };
  },
  // F5 / Ctrl+F5: set or clear the instruction breakpoint at the counter.
  breakpointAtPC({ set }) {
    const pc = machine.state().pc;
    const here = machine.listing(pc, 1, false, false)[0].breakpoint;
    if (set !== here) machine.toggle('instruction', pc);
    return { snapshot: snapshot() };
  },
  putBreakpoint({ index, bp }) {
    machine.putBreakpoint(index, bp);
    return { snapshot: snapshot({ code: !run || run.mode !== 'fast' }) };
  },
  deleteBreakpoint({ index }) {
    machine.deleteBreakpoint(index);
    return { snapshot: snapshot({ code: !run || run.mode !== 'fast' }) };
  },
  setBreakpoints({ list }) {
    machine.clearBreakpoints();
    for (const bp of list) machine.putBreakpoint(-1, bp);
    return { snapshot: snapshot() };
  },
  cod() { return machine.cod(); },
};

self.onmessage = async (event) => {
  const { id, cmd, args } = event.data || {};
  try {
    const fn = commands[cmd];
    if (!fn) throw new Error(`unknown command ${cmd}`);
    if (run && notWhileRunning.has(cmd)) throw new Error('busy: a run is going on');
    const result = await fn(args || {});
    post({ id, result });
  } catch (error) {
    post({ id, error: String(error && error.message || error) });
  }
};
