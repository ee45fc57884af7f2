// The register panel: R00..R15 beside R16..R31 as in the desktop grid, and
// the program counter below. A value is typed over its field ($hex, 0xhex,
// decimal or a label); a click on a register's name toggles its watch.
import { hex } from './machine.js';

const names = Array.from({ length: 32 }, (_, i) => `R${String(i).padStart(2, '0')}`);

export class RegisterPanel {
  constructor(body, pcField, { onToggle, onEdit }) {
    this.onEdit = onEdit;
    this.fields = [];
    this.buttons = [];
    this.values = [];
    this.readOnly = false;
    for (let row = 0; row < 16; ++row) {
      const tr = document.createElement('tr');
      for (const index of [row, row + 16]) {
        const nameCell = document.createElement('th');
        nameCell.scope = 'row';
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'reg-name';
        button.textContent = names[index];
        button.setAttribute('aria-pressed', 'false');
        button.title = `${names[index]} überwachen: ein Lauf hält an, wenn sich das Register ändert (noch ein Klick hebt es auf)`;
        button.addEventListener('click', () => onToggle(index));
        nameCell.append(button);
        const valueCell = document.createElement('td');
        const field = this.makeField(index, names[index]);
        valueCell.append(field);
        tr.append(nameCell, valueCell);
        this.buttons[index] = button;
        this.fields[index] = field;
      }
      body.append(tr);
    }
    this.pcField = pcField;
    this.wire(pcField, -1, 'PC');
  }

  makeField(index, name) {
    const field = document.createElement('input');
    field.type = 'text';
    field.className = 'reg-value';
    field.spellcheck = false;
    field.autocomplete = 'off';
    field.setAttribute('aria-label', name);
    this.wire(field, index, name);
    return field;
  }

  wire(field, index, name) {
    field.value = '$00000000';
    field.addEventListener('focus', () => field.select());
    // A click into a field that shows a value selects it whole, so typing replaces it.
    let selectOnUp = false;
    field.addEventListener('mousedown', () => { selectOnUp = !field.dataset.editing; });
    field.addEventListener('mouseup', (e) => {
      if (selectOnUp) {
        e.preventDefault();
        field.select();
      }
      selectOnUp = false;
    });
    field.addEventListener('input', () => { field.dataset.editing = '1'; });
    const commit = async () => {
      if (!field.dataset.editing) return;
      delete field.dataset.editing;
      const text = field.value.trim();
      const ok = text !== '' && await this.onEdit(index, text, name);
      if (!ok) field.value = this.shown(index);
    };
    field.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') {
        e.preventDefault();
        commit().then(() => field.select());
      } else if (e.key === 'Escape') {
        delete field.dataset.editing;
        field.value = this.shown(index);
        field.select();
      }
    });
    field.addEventListener('blur', () => { commit(); });
  }

  shown(index) {
    return hex(index < 0 ? this.pc ?? 0 : this.values[index] ?? 0);
  }

  setReadOnly(readOnly) {
    this.readOnly = readOnly;
    for (const field of [...this.fields, this.pcField]) field.readOnly = readOnly;
  }

  render(state, changed) {
    this.values = state.regs;
    this.pc = state.pc;
    for (let i = 0; i < 32; ++i) {
      const field = this.fields[i];
      const watched = !!(state.watched && state.watched[i]);
      if (!field.dataset.editing) {
        const text = hex(state.regs[i]);
        if (field.value !== text) field.value = text;
      }
      field.classList.toggle('changed', changed.has(i));
      field.classList.toggle('watched', watched);
      this.buttons[i].classList.toggle('watched', watched);
      this.buttons[i].setAttribute('aria-pressed', String(watched));
    }
    if (!this.pcField.dataset.editing) {
      const text = hex(state.pc);
      if (this.pcField.value !== text) this.pcField.value = text;
    }
  }
}
