// The simulator as the worker (and the node tests) hold it: one instance of
// the WebAssembly module with its C interface (web/binding/Binding.cpp)
// wrapped into plain JavaScript values. No rule of the simulator lives
// here; every answer comes from the C++ libraries.

/** Wraps a module made by createTavora(). */
export class Machine {
  constructor(module) {
    this.module = module;
    const m = module;
    const json = (name, args = []) => {
      const fn = m.cwrap(name, 'string', args);
      return (...values) => JSON.parse(fn(...values));
    };
    this._init = json('tv_init');
    this._load = m.cwrap('tv_load', 'string', ['string', 'number', 'number']);
    this._cod = m.cwrap('tv_cod', 'string', []);
    this._putFile = m.cwrap('tv_put_file', 'number', ['string', 'number', 'number']);
    this._reset = json('tv_reset');
    this._step = json('tv_step');
    this._runFast = json('tv_run_fast', ['number', 'number']);
    this._runDisplay = json('tv_run_display', ['number', 'number', 'number']);
    this._state = json('tv_state');
    this._setReg = m.cwrap('tv_set_reg', null, ['number', 'number']);
    this._listing = json('tv_listing', ['number', 'number', 'number', 'number']);
    this._words = json('tv_words', ['number', 'number']);
    this._writeWord = m.cwrap('tv_write_word', null, ['number', 'number']);
    this._breakpoints = json('tv_breakpoints');
    this._bpPut = m.cwrap('tv_bp_put', 'number', Array(12).fill('number'));
    this._bpDelete = m.cwrap('tv_bp_delete', null, ['number']);
    this._bpClear = m.cwrap('tv_bp_clear', null, []);
    this._toggle = m.cwrap('tv_toggle', 'number', ['number', 'number']);
    this._evaluate = json('tv_evaluate', ['string']);
    this.info = this._init();
  }

  /**
   * Loads a source (.s, .asm) or a .cod image from its text (a string or
   * bytes). Returns { ok, invalid, kind, diagnostics, messages, caption, symbols };
   * invalid: the loader refused an image and put the default image in place.
   */
  load(name, text) {
    const bytes = typeof text === 'string' ? new TextEncoder().encode(text) : text;
    const p = this.module._malloc(Math.max(1, bytes.length));
    try {
      this.module.HEAPU8.set(bytes, p);
      return JSON.parse(this._load(name, p, bytes.length));
    } finally {
      this.module._free(p);
    }
  }

  /**
   * Puts a file (a relative path such as "lib/text.s") beside the loaded
   * sources, for their .include; false when the path is not a plain one.
   */
  putFile(path, text) {
    const bytes = typeof text === 'string' ? new TextEncoder().encode(text) : text;
    const p = this.module._malloc(Math.max(1, bytes.length));
    try {
      this.module.HEAPU8.set(bytes, p);
      return this._putFile(path, p, bytes.length) !== 0;
    } finally {
      this.module._free(p);
    }
  }

  /** The .cod text of the last source assembled without errors. */
  cod() { return this._cod(); }
  /** Builds the held image again: { messages, caption }. */
  reset() { return this._reset(); }
  /** One instruction: { stop: null, steps, pc }. */
  step() { return this._step(); }
  /** A slice of the fast run: { stop, steps, pc }; stop "interrupted" after sliceMs. */
  runFast(maxSteps = 0, sliceMs = 20) { return this._runFast(maxSteps, sliceMs); }
  /**
   * A batch of the displayed run: { stop (null: none), steps, pc }. The
   * batch also ends early, without a stop, once the program counter leaves
   * low..high (signed 32-bit; the whole range by default).
   */
  runDisplay(count, low = -0x80000000, high = 0x7fffffff) { return this._runDisplay(count, low | 0, high | 0); }
  /** { pc, regs: [R0..R31], watched: [bool...], next, steps } */
  state() { return this._state(); }
  /** index -1: program counter; values are unsigned 32-bit numbers. */
  setReg(index, value) { this._setReg(index, value >>> 0); }
  /** Code view lines: [{ address, text, line, breakpoint } or { address, label }]. */
  listing(top, lines, symbols = true, source = false) {
    return this._listing(top >>> 0, lines, symbols ? 1 : 0, source ? 1 : 0);
  }
  /** { words: [...], watched: [bool...] } */
  words(address, count) { return this._words(address >>> 0, count); }
  writeWord(address, value) { this._writeWord(address >>> 0, value >>> 0); }
  /** Every breakpoint with its fields and its row texts. */
  breakpoints() { return this._breakpoints(); }
  /** Creates (index -1) or rewrites a breakpoint; returns its index. */
  putBreakpoint(index, bp) {
    return this._bpPut(index, bp.useInstruction ? 1 : 0, (bp.instruction ?? 0) >>> 0, bp.lockPosition ? 1 : 0,
      (bp.position ?? 0) >>> 0, bp.lockRegister ? 1 : 0, bp.register ?? 0, bp.lockValue ? 1 : 0,
      (bp.value ?? 0) >>> 0, bp.useCount ? 1 : 0, bp.maxCount ?? 0, bp.actCount ?? 0);
  }
  deleteBreakpoint(index) { this._bpDelete(index); }
  clearBreakpoints() { this._bpClear(); }
  /** kind: 'instruction' | 'memory' | 'register'; true when one was created. */
  toggle(kind, key) {
    const k = { instruction: 0, memory: 1, register: 2 }[kind];
    return this._toggle(k, key >>> 0) !== 0;
  }
  /** { ok, value } or { ok: false, error } for a number or label expression. */
  evaluate(text) { return this._evaluate(text); }
}

/** "$0000002a", as the desktop shows values and addresses. */
export function hex(value) {
  return '$' + (value >>> 0).toString(16).padStart(8, '0');
}
