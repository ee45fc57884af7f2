// The code view: listing lines from the worker, one list item per line, the
// program counter's line yellow, breakpoint lines red (a breakpoint on the
// counter's line wins), a left margin whose click toggles an instruction
// breakpoint. The view scrolls by addresses, relative to where it stands.
const GutterWidth = 20;
const PageLines = 15;

export class CodeView {
  constructor(list, { onView, onToggle }) {
    this.list = list;
    this.onView = onView;
    this.onToggle = onToggle;
    this.top = 0x7ffffe;
    this.rows = 20;
    this.lines = [];
    this.items = [];
    this.cursor = -1;     // keyboard line, or -1
    this.cursorAddress = null;
    this.lineHeight = 0;
    this.wheel = 0;

    list.addEventListener('click', (e) => {
      const li = e.target.closest('li');
      if (!li || !list.contains(li)) return;
      const index = this.items.indexOf(li);
      const line = this.lines[index];
      if (!line) return;
      const inGutter = e.clientX - li.getBoundingClientRect().left <= GutterWidth;
      this.setCursor(index);
      if (inGutter) this.onToggle(line.address);
    });
    list.addEventListener('keydown', (e) => this.key(e));
    list.addEventListener('wheel', (e) => {
      // Sideways scrolling shows long lines (with source text) as usual.
      if (e.shiftKey || Math.abs(e.deltaX) > Math.abs(e.deltaY)) return;
      e.preventDefault();
      this.wheel += e.deltaMode === 1 ? e.deltaY * 40 : e.deltaY;
      const steps = Math.trunc(this.wheel / 40);
      if (steps) {
        this.wheel -= steps * 40;
        this.scrollBy(steps * 3);
      }
    }, { passive: false });
    list.addEventListener('focus', () => {
      if (this.cursor < 0 && this.lines.length) this.setCursor(this.pcIndex() >= 0 ? this.pcIndex() : 0);
    });
    new ResizeObserver(() => this.measure()).observe(list);
  }

  measure() {
    const height = this.list.clientHeight;
    const probe = this.items[0];
    const lineHeight = probe ? probe.getBoundingClientRect().height : 20;
    if (lineHeight > 0) this.lineHeight = lineHeight;
    const rows = Math.max(1, Math.floor(height / (this.lineHeight || 20)));
    if (rows !== this.rows) {
      this.rows = rows;
      this.onView();
    }
  }

  pcIndex() {
    return this.lines.findIndex((l) => l.pc);
  }

  scrollBy(delta) {
    this.moveTo(this.top + delta);
  }

  /** The user moves the view; the worker takes the new top with the next view. */
  moveTo(address) {
    this.top = address >>> 0;
    this.movedTop = this.top;
    this.onView();
  }

  takeMovedTop() {
    const top = this.movedTop;
    this.movedTop = undefined;
    return top;
  }

  /** Puts the keyboard line on an address once it is drawn. */
  focusAddress(address) {
    this.cursorAddress = address >>> 0;
    this.cursor = -1;
  }

  setCursor(index) {
    this.cursor = Math.max(0, Math.min(index, this.lines.length - 1));
    this.cursorAddress = null;
    this.paintCursor();
  }

  paintCursor() {
    this.items.forEach((li, i) => li.classList.toggle('cursor', i === this.cursor));
    const item = this.items[this.cursor];
    if (item) this.list.setAttribute('aria-activedescendant', item.id);
    else this.list.removeAttribute('aria-activedescendant');
  }

  key(e) {
    const last = Math.max(0, this.rows - 1);
    switch (e.key) {
      case 'ArrowDown':
        if (this.cursor >= last) this.scrollBy(1);
        else this.setCursor(this.cursor + 1);
        break;
      case 'ArrowUp':
        if (this.cursor <= 0) this.scrollBy(-1);
        else this.setCursor(this.cursor - 1);
        break;
      case 'PageDown': this.scrollBy(PageLines); break;
      case 'PageUp': this.scrollBy(-PageLines); break;
      case ' ':
      case 'Enter': {
        const line = this.lines[this.cursor];
        if (line) this.onToggle(line.address);
        break;
      }
      default: return;
    }
    e.preventDefault();
  }

  render(top, lines, pc) {
    this.top = top >>> 0;
    while (this.items.length < lines.length) {
      const li = document.createElement('li');
      li.id = `code-line-${this.items.length}`;
      const gutter = document.createElement('span');
      gutter.className = 'gutter';
      gutter.setAttribute('aria-hidden', 'true');
      const text = document.createElement('span');
      text.className = 'text';
      li.append(gutter, text);
      this.list.append(li);
      this.items.push(li);
    }
    while (this.items.length > lines.length) this.items.pop().remove();
    this.lines = lines.map((line, i) => {
      const isLabel = line.label !== undefined;
      const isPC = !isLabel && line.address === pc;
      const isBreak = !isLabel && line.breakpoint;
      const li = this.items[i];
      const text = isLabel ? `${line.label}:` : line.text;
      if (li.lastChild.textContent !== text) li.lastChild.textContent = text;
      li.className = [isLabel ? 'label' : '', isBreak ? 'bp' : '', isPC ? 'pc' : '', i >= this.rows ? 'cut' : ''].filter(Boolean).join(' ');
      li.dataset.address = String(line.address);
      if (isPC) li.setAttribute('aria-current', 'true');
      else li.removeAttribute('aria-current');
      return { address: line.address, label: isLabel, pc: isPC };
    });
    if (this.cursorAddress !== null) {
      const index = this.lines.findIndex((l) => !l.label && l.address === this.cursorAddress);
      if (index >= 0) this.cursor = index;
    }
    if (this.cursor >= this.lines.length) this.cursor = this.lines.length - 1;
    this.paintCursor();
    if (!this.lineHeight && this.items.length) this.measure();
  }
}
