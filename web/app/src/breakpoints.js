// "Haltepunkte": one row per breakpoint with the desktop list's columns
// (texts from the breakpoint model itself), and the form "Haltepunkt
// bearbeiten" with every condition of the desktop dialog and its rules:
// OK only with a condition or the counter chosen, the current count kept
// below the limit, every field written back as it stands.
import { hex } from './machine.js';

const $ = (id) => document.getElementById(id);
const MinLimit = 2;
const MaxLimit = 100000;

const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));
const twoDigits = (n) => String(n).padStart(2, '0');

/** A spin field's value: its whole number pulled into its bounds, or the lower bound. */
function spinValue(field) {
  const lo = Number(field.min);
  const hi = Number(field.max);
  const v = Number(field.value);
  if (!Number.isInteger(v)) return lo;
  return hi > lo ? clamp(v, lo, hi) : v;
}

export class BreakpointPanel {
  constructor({ body, dialog, evaluate, currentPC, onPut, onDelete, onDialog }) {
    this.body = body;
    this.dialog = dialog;
    this.evaluate = evaluate;
    this.currentPC = currentPC;
    this.onPut = onPut;
    this.onDelete = onDelete;
    this.onDialog = onDialog;
    this.rows = [];
    this.items = [];
    this.selected = -1;
    this.editIndex = -1;
    this.pending = 0;

    body.addEventListener('click', (e) => {
      const tr = e.target.closest('tr');
      if (tr) this.select(this.items.indexOf(tr), true);
    });
    body.addEventListener('dblclick', (e) => {
      const tr = e.target.closest('tr');
      if (tr) this.select(this.items.indexOf(tr), true);
      if (this.selected >= 0) this.open(this.selected);
    });
    body.addEventListener('keydown', (e) => {
      if (e.key === 'ArrowDown') this.select(this.selected + 1, true);
      else if (e.key === 'ArrowUp') this.select(this.selected - 1, true);
      else if (e.key === 'Enter' && this.selected >= 0) this.open(this.selected);
      else if (e.key === 'Delete' && this.selected >= 0) this.onDelete(this.selected);
      else return;
      e.preventDefault();
    });
    $('bp-new').addEventListener('click', () => this.open(-1));
    $('bp-edit-button').addEventListener('click', () => { if (this.selected >= 0) this.open(this.selected); });
    $('bp-delete').addEventListener('click', () => { if (this.selected >= 0) this.onDelete(this.selected); });
    this.wireForm();
  }

  focus() {
    (this.items[Math.max(0, this.selected)] || $('bp-new')).focus();
  }

  select(index, focus) {
    if (!this.items.length) { this.selected = -1; return; }
    this.selected = clamp(index, 0, this.items.length - 1);
    this.items.forEach((tr, i) => {
      tr.setAttribute('aria-selected', String(i === this.selected));
      tr.tabIndex = i === this.selected ? 0 : -1;
    });
    if (focus) this.items[this.selected].focus();
  }

  render(rows) {
    this.rows = rows || [];
    while (this.items.length < this.rows.length) {
      const tr = document.createElement('tr');
      tr.tabIndex = -1;
      for (let c = 0; c < 4; ++c) {
        const td = document.createElement('td');
        if (c === 1 || c === 2) td.className = 'num';
        tr.append(td);
      }
      this.body.append(tr);
      this.items.push(tr);
    }
    while (this.items.length > this.rows.length) this.items.pop().remove();
    this.rows.forEach((bp, i) => {
      const texts = [bp.caption, bp.counter, bp.limit, bp.condition];
      texts.forEach((t, c) => {
        const td = this.items[i].children[c];
        if (td.textContent !== t) td.textContent = t;
      });
    });
    if (this.selected >= this.rows.length) this.selected = this.rows.length - 1;
    if (this.selected < 0 && this.rows.length) this.selected = 0;
    const hadFocus = this.body.contains(document.activeElement);
    this.select(this.selected, hadFocus);
    $('bp-edit-button').disabled = this.selected < 0;
    $('bp-delete').disabled = this.selected < 0;
  }

  // ---- the edit form ----

  wireForm() {
    const f = this.fields = {
      useInstruction: $('f-use-instruction'), instruction: $('f-instruction'),
      none: $('f-lock-none'), position: $('f-lock-position'), register: $('f-lock-register'),
      positionText: $('f-position'), registerText: $('f-register'),
      change: $('f-lock-change'), value: $('f-lock-value'), valueText: $('f-value'),
      useCount: $('f-use-count'), actCount: $('f-act-count'), maxCount: $('f-max-count'),
      ok: $('f-ok'), cancel: $('f-cancel'), error: $('bp-form-error'),
    };
    for (const input of [f.useInstruction, f.none, f.position, f.register, f.change, f.value, f.useCount]) {
      input.addEventListener('change', () => this.updateEnabled());
    }
    for (const input of [f.instruction, f.positionText, f.valueText]) {
      input.addEventListener('input', () => this.check(input));
      input.addEventListener('blur', () => {
        if (input.dataset.valid === '1') input.value = hex(Number(input.dataset.value));
      });
    }
    // The register field always names a register from R00 to R31.
    f.registerText.addEventListener('change', () => { f.registerText.value = this.registerText(f.registerText.value); });
    f.maxCount.addEventListener('input', () => this.limitChanged());
    f.maxCount.addEventListener('change', () => { f.maxCount.value = String(spinValue(f.maxCount)); this.limitChanged(); });
    f.actCount.addEventListener('change', () => { f.actCount.value = String(spinValue(f.actCount)); });
    f.cancel.addEventListener('click', () => this.dialog.close('cancel'));
    this.dialog.addEventListener('close', () => this.onDialog(false));
    $('bp-form').addEventListener('submit', (e) => {
      e.preventDefault();
      if (f.ok.disabled) return;
      this.accept();
    });
  }

  registerText(text) {
    const digits = /(\d{1,2})/.exec(text.replace(/^\s*[rR]/, ''));
    const n = digits ? Math.min(31, Number(digits[1])) : 0;
    return `R${twoDigits(n)}`;
  }

  setHex(input, value) {
    input.value = hex(value);
    input.dataset.value = String(value >>> 0);
    input.dataset.valid = '1';
    input.removeAttribute('aria-invalid');
  }

  // Hexadecimal fields take what the assembler reads: $hex, 0xhex, decimal or a label.
  async check(input) {
    const text = input.value.trim();
    const ticket = (input.ticket = (input.ticket || 0) + 1);
    input.dataset.valid = '0';
    this.pending++;
    this.updateOk();
    try {
      const result = text ? await this.evaluate(text) : { ok: false, error: 'leer' };
      if (ticket !== input.ticket) return;
      if (result.ok) {
        input.dataset.value = String(result.value >>> 0);
        input.dataset.valid = '1';
        input.removeAttribute('aria-invalid');
      } else {
        input.setAttribute('aria-invalid', 'true');
        input.dataset.error = `„${text}“: ${result.error}`;
      }
    } finally {
      this.pending--;
      this.updateOk();
    }
  }

  limitChanged() {
    const f = this.fields;
    const limit = spinValue(f.maxCount);
    f.actCount.max = String(limit - 1);
    if (spinValue(f.actCount) > limit - 1) f.actCount.value = String(limit - 1);
  }

  open(index) {
    const f = this.fields;
    this.editIndex = index;
    const pc = this.currentPC();
    const bp = index >= 0 ? this.rows[index] : {
      useInstruction: true, instruction: pc, lockPosition: false, position: 0, lockRegister: false, register: 1,
      lockValue: false, value: 0, useCount: false, maxCount: 0, actCount: 0,
    };
    if (!bp) return;
    f.useInstruction.checked = bp.useInstruction;
    this.setHex(f.instruction, bp.instruction);
    f.none.checked = true;
    if (bp.lockPosition) f.position.checked = true;
    if (bp.lockRegister) f.register.checked = true;
    this.setHex(f.positionText, bp.position);
    f.registerText.value = `R${twoDigits(bp.register & 31)}`;
    f.change.checked = true;
    if (bp.lockValue) f.value.checked = true;
    this.setHex(f.valueText, bp.value);
    f.useCount.checked = bp.useCount;
    f.maxCount.value = String(clamp(bp.maxCount, MinLimit, MaxLimit));
    this.limitChanged();
    f.actCount.value = String(clamp(bp.actCount, 0, Number(f.actCount.max)));
    this.updateEnabled();
    this.onDialog(true);
    this.dialog.showModal();
    f.useInstruction.focus();
  }

  updateEnabled() {
    const f = this.fields;
    f.instruction.disabled = !f.useInstruction.checked;
    const watch = f.position.checked || f.register.checked;
    f.positionText.disabled = !f.position.checked;
    f.registerText.disabled = !f.register.checked;
    f.change.disabled = !watch;
    f.value.disabled = !watch;
    f.valueText.disabled = !(watch && f.value.checked);
    f.actCount.disabled = !f.useCount.checked;
    f.maxCount.disabled = !f.useCount.checked;
    this.updateOk();
  }

  updateOk() {
    const f = this.fields;
    const chosen = f.useCount.checked || f.position.checked || f.register.checked || f.useInstruction.checked;
    const bad = [f.instruction, f.positionText, f.valueText].find((i) => !i.disabled && i.dataset.valid !== '1');
    f.ok.disabled = !chosen || !!bad || this.pending > 0;
    if (!chosen) f.error.textContent = 'Bitte eine Bedingung wählen oder den Zähler verwenden.';
    else if (bad && bad.dataset.error && this.pending === 0) f.error.textContent = `Ungültige Adresse oder ungültiger Wert ${bad.dataset.error}`;
    else f.error.textContent = '';
  }

  accept() {
    const f = this.fields;
    const number = (input) => Number(input.dataset.value) >>> 0;
    f.registerText.value = this.registerText(f.registerText.value);
    const bp = {
      useInstruction: f.useInstruction.checked,
      instruction: number(f.instruction),
      lockPosition: f.position.checked,
      position: number(f.positionText),
      lockRegister: f.register.checked,
      register: Number(f.registerText.value.slice(1, 3)),
      lockValue: f.value.checked,
      value: number(f.valueText),
      useCount: f.useCount.checked,
      actCount: spinValue(f.actCount),
      maxCount: spinValue(f.maxCount),
    };
    this.dialog.close('ok');
    this.onPut(this.editIndex, bp);
  }
}
