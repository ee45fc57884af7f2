// The source editor: CodeMirror with the assembler's language. The words it
// highlights as mnemonics and directives come from the assembler's own
// tables (Machine.info), handed in once the module has started.
import { EditorState, Compartment, StateEffect, StateField } from '@codemirror/state';
import {
  EditorView, Decoration, keymap, lineNumbers, highlightActiveLine, highlightActiveLineGutter, drawSelection,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { StreamLanguage, syntaxHighlighting, HighlightStyle } from '@codemirror/language';
import { setDiagnostics, lintGutter } from '@codemirror/lint';
import { searchKeymap, highlightSelectionMatches } from '@codemirror/search';
import { tags } from '@lezer/highlight';

const registerPattern = /^r(?:[0-9]|[0-2][0-9]|3[01])$/i;
const namePattern = /^[A-Za-z_.][A-Za-z0-9_.]*/;
const numberPattern = /^[+-]?(?:\$[0-9a-fA-F]+|0[xX][0-9a-fA-F]+|0[bB][01]+|[0-9]+[bf]?)/;
// Texts and characters with their escapes, as .ascii and 'A' are written.
const stringPattern = /^"(?:[^"\\]|\\.)*"?/;
const charPattern = /^'(?:[^'\\]|\\.)*'?/;

/** A stream language for the given mnemonics and directives. */
export function tavoraLanguage(mnemonics, directives) {
  const mnemonicSet = new Set(mnemonics.map((m) => m.toLowerCase()));
  const directiveSet = new Set(directives.map((d) => d.toLowerCase()));
  return StreamLanguage.define({
    name: 'tavora',
    startState: () => ({ statement: false }),
    token(stream, state) {
      if (stream.sol()) state.statement = false;
      if (stream.eatSpace()) return null;
      if (stream.match(';') || stream.match('//') || (stream.column() === stream.indentation() && stream.match('#'))) {
        stream.skipToEnd();
        return 'comment';
      }
      if (stream.match(stringPattern)) return 'string';
      if (stream.match(charPattern)) return 'number';
      // A local label: 1: ... 9:, written before its statement.
      if (!state.statement && stream.match(/^[0-9]:/)) return 'labelName';
      if (stream.match(numberPattern)) return 'number';
      if (stream.match(namePattern)) {
        const word = stream.current();
        if (!state.statement && stream.peek() === ':') {
          stream.next();
          return 'labelName';
        }
        if (registerPattern.test(word)) return 'variableName.special';
        if (!state.statement) {
          const lower = word.toLowerCase();
          // A numeric suffix picks one encoding (addi.11); the word is still the mnemonic.
          if (mnemonicSet.has(lower.replace(/\.\d+$/, ''))) {
            state.statement = true;
            return 'keyword';
          }
          if (directiveSet.has(lower)) {
            state.statement = true;
            return 'meta';
          }
        }
        return 'variableName';
      }
      stream.next();
      return null;
    },
    languageData: { commentTokens: { line: ';' } },
  });
}

const highlight = HighlightStyle.define([
  { tag: tags.keyword, color: '#1a3fa8', fontWeight: 'bold' },
  { tag: tags.meta, color: '#007070', fontWeight: 'bold' },
  { tag: tags.special(tags.variableName), color: '#7a1fa2' },
  { tag: tags.number, color: '#a84a00' },
  { tag: tags.string, color: '#a84a00' },
  { tag: tags.comment, color: '#2e7d32', fontStyle: 'italic' },
  { tag: tags.labelName, color: '#8b1a1a', fontWeight: 'bold' },
]);

/** Byte column (1-based, UTF-8) of the assembler to a character offset in a line. */
export function byteColumnToOffset(lineText, column) {
  let bytes = 0;
  let offset = 0;
  const target = Math.max(0, column - 1);
  for (const ch of lineText) {
    if (bytes >= target) break;
    const code = ch.codePointAt(0);
    bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    offset += ch.length;
  }
  return offset;
}

// The source line of the word at the program counter, shown like the code
// view's counter line.
const setPCLine = StateEffect.define();
const pcLineMark = Decoration.line({ class: 'cm-pc-line' });
const pcLineField = StateField.define({
  create: () => ({ line: 0, decorations: Decoration.none }),
  update(value, tr) {
    // An edit ends the mark: the text no longer matches the assembled words.
    let line = tr.docChanged ? 0 : value.line;
    for (const effect of tr.effects) if (effect.is(setPCLine)) line = effect.value;
    if (line === value.line && !tr.docChanged) return value;
    const doc = tr.state.doc;
    const decorations = line > 0 && line <= doc.lines ? Decoration.set([pcLineMark.range(doc.line(line).from)]) : Decoration.none;
    return { line, decorations };
  },
  provide: (field) => EditorView.decorations.from(field, (value) => value.decorations),
});

export class SourceEditor {
  constructor(parent, { onChange }) {
    this.language = new Compartment();
    this.view = new EditorView({
      parent,
      state: EditorState.create({
        doc: '',
        extensions: [
          lineNumbers(),
          highlightActiveLineGutter(),
          history(),
          drawSelection(),
          highlightActiveLine(),
          highlightSelectionMatches(),
          lintGutter(),
          this.language.of([]),
          pcLineField,
          syntaxHighlighting(highlight),
          keymap.of([...defaultKeymap, ...historyKeymap, ...searchKeymap]),
          EditorView.contentAttributes.of({ 'aria-label': 'Quelltext', spellcheck: 'false', autocapitalize: 'off', autocorrect: 'off' }),
          EditorView.updateListener.of((update) => {
            if (update.docChanged) onChange(this.text);
          }),
        ],
      }),
    });
  }

  setLanguage(mnemonics, directives) {
    this.view.dispatch({ effects: this.language.reconfigure(tavoraLanguage(mnemonics, directives)) });
  }

  get text() { return this.view.state.doc.toString(); }

  set text(value) {
    this.view.dispatch({ changes: { from: 0, to: this.view.state.doc.length, insert: value } });
    this.view.dispatch(setDiagnostics(this.view.state, []));
  }

  /** Marks the assembler's diagnostics ({ line, column, severity, text }) in the text. */
  showDiagnostics(list) {
    const doc = this.view.state.doc;
    const marks = [];
    for (const d of list) {
      if (d.line < 1 || d.line > doc.lines) continue;
      const line = doc.line(d.line);
      let from = line.from + Math.min(line.length, byteColumnToOffset(line.text, d.column));
      // A byte-order mark before the first line is not counted by the assembler.
      if (d.line === 1 && line.text.startsWith('\ufeff')) from = Math.min(line.to, from + 1);
      // Mark the word at the column, or one character, or the line's end.
      const rest = doc.sliceString(from, line.to);
      const word = /^[^\s,;]+/.exec(rest);
      const to = word ? from + word[0].length : Math.min(line.to, from + 1);
      marks.push({ from, to, severity: d.severity === 'warning' ? 'warning' : 'error', message: d.text });
    }
    this.view.dispatch(setDiagnostics(this.view.state, marks));
  }

  /** Marks the source line (1-based, 0 for none) of the word the program counter stands on. */
  markPCLine(line) {
    if (this.view.state.field(pcLineField).line !== line) this.view.dispatch({ effects: setPCLine.of(line) });
  }

  /** Puts the cursor on a line and column (bytes) and focuses the editor. */
  reveal(lineNumber, column = 1) {
    const doc = this.view.state.doc;
    if (lineNumber < 1 || lineNumber > doc.lines) return;
    const line = doc.line(lineNumber);
    const pos = line.from + Math.min(line.length, byteColumnToOffset(line.text, column));
    this.view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
    this.view.focus();
  }
}
