// Memory inspectors: any number, each a region "Speicher" with its own start
// address, rows of words led by their address, a click on a word toggling a
// change watch on it, and words that can be typed over. The worker sends
// each inspector's words with every snapshot, so they follow every run.
import { hex } from './machine.js';

const Rows = 8;
const MaxWordsPerRow = 16;
let nextId = 1;
let charWidth = 0;

function measureCharWidth(reference) {
  const probe = document.createElement('span');
  probe.className = 'word';
  probe.style.cssText = 'position:absolute;visibility:hidden;padding:0;border:0';
  probe.textContent = '0000000000';
  reference.append(probe);
  const width = probe.getBoundingClientRect().width / 10;
  probe.remove();
  return width || 8;
}

export class Inspectors {
  constructor(container, callbacks) {
    this.container = container;
    this.callbacks = callbacks;
    this.list = [];
    this.readOnly = false;
  }

  ranges() {
    return this.list.map((i) => ({ id: i.id, address: i.address, count: i.rows * i.perRow }));
  }

  addresses() {
    return this.list.map((i) => i.address);
  }

  setReadOnly(readOnly) {
    this.readOnly = readOnly;
  }

  add(address = 0x800000, { focus = true } = {}) {
    const inspector = new Inspector(this, address >>> 0);
    this.list.push(inspector);
    this.container.append(inspector.el);
    inspector.layout();
    if (focus) inspector.field.focus();
    this.callbacks.onView();
    this.callbacks.onChanged();
    return inspector;
  }

  remove(inspector) {
    const hadFocus = inspector.el.contains(document.activeElement);
    this.list = this.list.filter((i) => i !== inspector);
    inspector.el.remove();
    if (hadFocus) (this.list.at(-1)?.field || document.getElementById('add-inspector')).focus();
    this.callbacks.onView();
    this.callbacks.onChanged();
  }

  render(snapshots) {
    for (const inspector of this.list) {
      const data = snapshots && snapshots[inspector.id];
      if (data && data.address === inspector.address) inspector.render(data);
    }
  }
}

class Inspector {
  constructor(owner, address) {
    this.owner = owner;
    this.id = String(nextId++);
    this.address = address;
    this.rows = Rows;
    this.perRow = 4;
    this.cells = [];
    this.focusIndex = 0;
    this.editing = null;   // address being typed over
    this.wheel = 0;

    const el = document.createElement('section');
    el.className = 'inspector';
    el.setAttribute('role', 'region');
    el.setAttribute('aria-label', 'Speicher');
    const head = document.createElement('div');
    head.className = 'pane-head';
    const title = document.createElement('h2');
    title.className = 'pane-title';
    title.textContent = 'Speicher';
    const label = document.createElement('label');
    label.className = 'address-label';
    label.textContent = 'Adresse ';
    const field = document.createElement('input');
    field.type = 'text';
    field.className = 'address';
    field.spellcheck = false;
    field.autocomplete = 'off';
    field.setAttribute('aria-label', 'Adresse');
    field.title = 'Gehe zu Adresse: eine Adresse oder ein Label (z. B. $800000 oder loop+2), Eingabetaste';
    field.value = hex(address);
    label.append(field);
    const close = document.createElement('button');
    close.type = 'button';
    close.className = 'icon';
    close.textContent = '×';
    close.setAttribute('aria-label', 'Speicher schließen');
    close.title = 'Dieses Speicherfenster schließen';
    head.append(title, label, close);
    const grid = document.createElement('div');
    grid.className = 'words';
    grid.setAttribute('role', 'grid');
    grid.setAttribute('aria-label', 'Wörter');
    el.append(head, grid);
    this.el = el;
    this.field = field;
    this.grid = grid;

    field.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') {
        e.preventDefault();
        this.goto(field.value);
      } else if (e.key === 'Escape') {
        field.value = hex(this.address);
      }
    });
    field.addEventListener('blur', () => { field.value = hex(this.address); });
    close.addEventListener('click', () => owner.remove(this));
    grid.addEventListener('click', (e) => {
      const cell = e.target.closest('[role="gridcell"]');
      if (!cell || this.editing !== null) return;
      this.focusIndex = this.cells.indexOf(cell);
      this.owner.callbacks.onToggle(Number(cell.dataset.address));
    });
    grid.addEventListener('dblclick', (e) => {
      const cell = e.target.closest('[role="gridcell"]');
      if (cell) this.edit(cell);
    });
    grid.addEventListener('keydown', (e) => this.key(e));
    grid.addEventListener('wheel', (e) => {
      e.preventDefault();
      this.wheel += e.deltaMode === 1 ? e.deltaY * 40 : e.deltaY;
      const steps = Math.trunc(this.wheel / 40);
      if (steps) {
        this.wheel -= steps * 40;
        this.scrollBy(steps * this.perRow);
      }
    }, { passive: false });
    new ResizeObserver(() => this.layout()).observe(grid);
  }

  async goto(text) {
    text = text.trim();
    if (!text) {
      this.owner.callbacks.onStatus('Bitte eine Adresse eingeben.');
      return;
    }
    const result = await this.owner.callbacks.evaluate(text);
    if (!result.ok) {
      this.owner.callbacks.onStatus(`„${text}“ ist keine gültige Adresse.`);
      this.field.select();
      return;
    }
    this.setAddress(result.value);
    this.field.value = hex(this.address);
    this.field.select();
  }

  setAddress(address) {
    this.address = address >>> 0;
    if (document.activeElement !== this.field) this.field.value = hex(this.address);
    this.build();
    this.owner.callbacks.onView();
    this.owner.callbacks.onChanged();
  }

  scrollBy(delta) {
    this.setAddress(this.address + delta);
  }

  layout() {
    if (!charWidth) charWidth = measureCharWidth(this.grid);
    const width = this.grid.clientWidth;
    const perRow = Math.max(1, Math.min(MaxWordsPerRow, Math.floor((width / charWidth - 13) / 9)));
    if (perRow !== this.perRow || !this.cells.length) {
      this.perRow = perRow;
      this.build();
      this.owner.callbacks.onView();
    }
  }

  build() {
    const focused = this.grid.contains(document.activeElement);
    this.grid.replaceChildren();
    this.cells = [];
    this.editing = null;
    for (let r = 0; r < this.rows; ++r) {
      const row = document.createElement('div');
      row.setAttribute('role', 'row');
      row.className = 'word-row';
      const head = document.createElement('span');
      head.setAttribute('role', 'rowheader');
      head.className = 'row-address';
      head.textContent = `${hex(this.address + r * this.perRow)}:`;
      row.append(head);
      for (let c = 0; c < this.perRow; ++c) {
        const address = (this.address + r * this.perRow + c) >>> 0;
        const cell = document.createElement('span');
        cell.setAttribute('role', 'gridcell');
        cell.className = 'word';
        cell.dataset.address = String(address);
        cell.setAttribute('aria-label', hex(address));
        cell.tabIndex = -1;
        cell.textContent = '········';
        row.append(cell);
        this.cells.push(cell);
      }
      this.grid.append(row);
    }
    this.focusIndex = Math.min(this.focusIndex, this.cells.length - 1);
    if (this.cells[this.focusIndex]) this.cells[this.focusIndex].tabIndex = 0;
    if (focused && this.cells[this.focusIndex]) this.cells[this.focusIndex].focus();
  }

  render(data) {
    data.words.forEach((word, i) => {
      const cell = this.cells[i];
      if (!cell || cell.dataset.address === String(this.editing)) return;
      const text = (word >>> 0).toString(16).padStart(8, '0');
      if (cell.textContent !== text) cell.textContent = text;
      cell.classList.toggle('watched', !!data.watched[i]);
    });
  }

  moveFocus(index) {
    if (index < 0) {
      this.scrollBy(-this.perRow);
      index += this.perRow;
    } else if (index >= this.cells.length) {
      this.scrollBy(this.perRow);
      index -= this.perRow;
    }
    this.cells.forEach((c) => { c.tabIndex = -1; });
    this.focusIndex = Math.max(0, Math.min(index, this.cells.length - 1));
    const cell = this.cells[this.focusIndex];
    cell.tabIndex = 0;
    cell.focus();
  }

  key(e) {
    if (this.editing !== null) return;
    const cell = e.target.closest('[role="gridcell"]');
    if (!cell) return;
    const index = this.cells.indexOf(cell);
    switch (e.key) {
      case 'ArrowRight': this.moveFocus(index + 1); break;
      case 'ArrowLeft': this.moveFocus(index - 1); break;
      case 'ArrowDown': this.moveFocus(index + this.perRow); break;
      case 'ArrowUp': this.moveFocus(index - this.perRow); break;
      case 'PageDown': this.scrollBy(10 * this.perRow); break;
      case 'PageUp': this.scrollBy(-10 * this.perRow); break;
      case ' ': this.owner.callbacks.onToggle(Number(cell.dataset.address)); break;
      case 'Enter': this.edit(cell); break;
      default: return;
    }
    e.preventDefault();
  }

  edit(cell) {
    if (this.owner.readOnly || this.editing !== null) return;
    const address = Number(cell.dataset.address);
    this.editing = address;
    const input = document.createElement('input');
    input.type = 'text';
    input.className = 'word-edit';
    input.spellcheck = false;
    input.value = '$' + cell.textContent;
    input.setAttribute('aria-label', `Wert bei ${hex(address)}`);
    cell.replaceChildren(input);
    input.focus();
    input.select();
    let done = false;
    const finish = async (commit) => {
      if (done) return;
      done = true;
      if (commit) await this.owner.callbacks.onEdit(address, input.value.trim());
      this.editing = null;
      if (cell.isConnected) {
        cell.textContent = input.value.replace(/^\$/, '');
        this.owner.callbacks.onView();
        cell.focus();
      }
    };
    input.addEventListener('keydown', (e) => {
      e.stopPropagation();
      if (e.key === 'Enter') { e.preventDefault(); finish(true); }
      if (e.key === 'Escape') { e.preventDefault(); finish(false); }
    });
    input.addEventListener('blur', () => finish(true));
  }
}
