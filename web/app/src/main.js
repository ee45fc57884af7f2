// The page: asks the worker and draws its snapshots. It keeps no rule of
// the simulator; what a line says, whether a breakpoint holds and how a
// label decorates a line all come from the worker's machine.
import { hex } from './machine.js';
import { WorkerClient } from './client.js';
import { SourceEditor } from './editor.js';
import { encodeShare, decodeShare } from './share.js';
import { loadSaved, save } from './storage.js';
import { CodeView } from './codeview.js';
import { RegisterPanel } from './registers.js';
import { Inspectors } from './memoryviews.js';
import { BreakpointPanel } from './breakpoints.js';

const $ = (id) => document.getElementById(id);
const ReadyText = 'Bereit. F9 startet das Programm, F8 führt einen Einzelschritt aus, F2 hält es an.';
const Speeds = [2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 0];  // 0: as fast as the display follows
const SourceExtensions = /\.(s|asm)$/i;

const number = (n) => n.toLocaleString('de-DE');

const page = {
  info: null,
  running: null,          // 'display' | 'fast' while a run goes on
  snapshot: null,
  sourceName: 'quelltext.s',
  image: null,            // { name, text } of an opened .cod, until a source is assembled
  baseline: null,         // registers at the previous stop
  runBaseline: null,
  ready: false,
  dialogOpen: false,
};

const client = new WorkerClient('worker.js', {
  onEvent: (message) => onRunEvent(message),
  onFailure: (reason) => {
    setStatus(`Der Simulator konnte nicht gestartet werden (${reason}).`);
    setRunning(null);
  },
});

// ---- status and messages ----

function setStatus(text) {
  $('status').textContent = text;
}

function showMessages(items) {
  const list = $('messages');
  list.replaceChildren();
  for (const item of items) {
    const li = document.createElement('li');
    li.textContent = item.text;
    li.className = item.severity || 'info';
    if (item.line) {
      li.tabIndex = 0;
      li.title = 'Zur Stelle im Quelltext springen';
      const go = () => editor.reveal(item.line, item.column);
      li.addEventListener('click', go);
      li.addEventListener('keydown', (e) => { if (e.key === 'Enter') go(); });
    }
    list.append(li);
  }
  list.hidden = items.length === 0;
}

// ---- drawing a snapshot ----

function diffRegisters(before, after) {
  const changed = new Set();
  if (!before) return changed;
  for (let i = 0; i < 32; ++i) if (before[i] !== after[i]) changed.add(i);
  return changed;
}

function render(snapshot, { stopped = false } = {}) {
  if (!snapshot) return;
  page.snapshot = snapshot;
  const { state } = snapshot;
  let changed;
  if (page.running) {
    changed = diffRegisters(page.runBaseline, state.regs);
  } else if (stopped) {
    changed = diffRegisters(page.baseline, state.regs);
    page.baseline = state.regs.slice();
    page.lastChanged = changed;
  } else {
    changed = page.lastChanged || new Set();
  }
  registers.render(state, $('opt-changed').checked ? changed : new Set());
  if (snapshot.code) {
    codeView.render(snapshot.top, snapshot.code, state.pc);
    const pcLine = snapshot.code.find((l) => l.label === undefined && l.address === state.pc);
    // Only while the text is the one assembled do its lines match the words.
    editor.markPCLine(pcLine && !page.image && !page.sourceEdited ? pcLine.line : 0);
  }
  inspectors.render(snapshot.inspectors);
  breakpointPanel.render(snapshot.breakpoints);
  $('next').textContent = state.next;
  scheduleSave();
}

function resetBaseline(snapshot) {
  page.baseline = snapshot.state.regs.slice();
  page.lastChanged = new Set();
}

// ---- the view the worker draws for ----

let viewBusy = false;
let viewAgain = false;

function viewArgs() {
  return {
    top: codeView.takeMovedTop(),
    rows: codeView.rows,
    symbols: $('opt-symbols').checked,
    source: $('opt-source').checked,
    inspectors: inspectors.ranges(),
  };
}

/** Tells the worker what is visible and draws the answer; calls made while one is on its way are merged. */
async function sendView() {
  if (!page.ready) return;
  if (viewBusy) { viewAgain = true; return; }
  viewBusy = true;
  try {
    do {
      viewAgain = false;
      render(await client.call('view', viewArgs()));
    } while (viewAgain);
  } catch (error) {
    reportFailure(error);
  } finally {
    viewBusy = false;
  }
}

function reportFailure(error) {
  setStatus(`Fehler: ${error && error.message ? error.message : error}`);
}

// ---- run control ----

function setRunning(mode) {
  page.running = mode;
  const stopped = !mode;
  for (const id of ['run', 'run-fast', 'step', 'reset', 'assemble', 'open', 'examples']) $(id).disabled = !stopped || !page.ready;
  $('stop').disabled = stopped || !page.ready;
  document.body.classList.toggle('running', !stopped);
  registers.setReadOnly(mode === 'fast');
  inspectors.setReadOnly(mode === 'fast');
}

function stopText(stop, pc) {
  switch (stop) {
    case 'breakpoint': return `Angehalten: Haltepunkt bei ${hex(pc)}`;
    case 'stop-opcode': return `Angehalten: Stopp-Befehl bei ${hex(pc)}`;
    case 'idle-loop': return `Angehalten: Leerlaufschleife bei ${hex(pc)}`;
    default: return `Angehalten bei ${hex(pc)}`;
  }
}

async function startRun(mode) {
  if (!page.ready || page.running) return;
  page.runBaseline = page.baseline;
  setRunning(mode);
  setStatus(mode === 'fast' ? 'Läuft schnell … (F2 hält an)' : 'Läuft … (F2 hält an)');
  const speed = Speeds[Number($('speed').value)] ?? 0;
  try {
    const result = await client.call('run', { mode, speed });
    setRunning(null);
    render(result.snapshot, { stopped: true });
    const { pc, steps } = result.snapshot.state;
    setStatus(`${stopText(result.stop, pc)} nach ${number(result.steps)} ${result.steps === 1 ? 'Schritt' : 'Schritten'} (${number(steps)} seit dem Zurücksetzen).`);
  } catch (error) {
    setRunning(null);
    reportFailure(error);
  }
}

function onRunEvent(message) {
  if (!page.running) return;
  if (message.event === 'frame') {
    render(message.snapshot);
    // The next batch waits until this frame is on the screen, and while
    // "Haltepunkt bearbeiten" is open, as the desktop's modal dialog holds
    // its displayed run.
    requestAnimationFrame(() => {
      if ($('bp-dialog').open) page.ackAfterDialog = true;
      else client.send('ack');
    });
  } else if (message.event === 'progress') {
    // The status line, a live region, is left alone until the run ends.
    render(message.snapshot);
  }
}

function stopRun() {
  if (page.running) client.send('stop');
}

async function singleStep() {
  if (!page.ready || page.running) return;
  try {
    const result = await client.call('step');
    render(result.snapshot, { stopped: true });
    const { pc, steps } = result.snapshot.state;
    setStatus(`Einzelschritt; nächste Anweisung bei ${hex(pc)} (${number(steps)} ${steps === 1 ? 'Schritt' : 'Schritte'} seit dem Zurücksetzen).`);
  } catch (error) {
    reportFailure(error);
  }
}

async function resetProcessor() {
  if (!page.ready || page.running) return;
  try {
    const result = await client.call('reset');
    resetBaseline(result.snapshot);
    render(result.snapshot);
    setStatus(['Prozessor zurückgesetzt.', ...result.messages].join(' '));
  } catch (error) {
    reportFailure(error);
  }
}

// ---- loading sources and images ----

/**
 * Loads a source or image text into the machine: true when it is loaded,
 * false when a source had errors or the loader refused an image.
 */
async function loadProgram(name, data, { quiet = false } = {}) {
  const bytes = typeof data === 'string' ? new TextEncoder().encode(data) : data;
  const result = await client.call('load', { name, bytes });
  const items = result.diagnostics.map((d) => ({ text: d.text, severity: d.severity, line: d.line, column: d.column }));
  for (const m of result.messages) items.push({ text: m, severity: 'loader' });
  showMessages(items);
  if (result.kind === 'source') editor.showDiagnostics(result.diagnostics);
  if (!result.ok) {
    const errors = result.diagnostics.filter((d) => d.severity === 'error').length;
    setStatus(`${name} ist ungültig; das geladene Programm bleibt. (${errors} Fehler)`);
    render(result.snapshot);
    return false;
  }
  if (result.kind === 'source') page.sourceEdited = false;
  resetBaseline(result.snapshot);
  render(result.snapshot);
  await sendView();
  if (result.invalid) {
    setStatus([`${name} wurde nicht geladen:`, ...result.messages, 'Es gilt das Standardabbild.'].join(' '));
    return false;
  }
  if (!quiet) {
    const warnings = result.diagnostics.filter((d) => d.severity === 'warning').length;
    const warned = warnings ? ` (${warnings} ${warnings === 1 ? 'Warnung' : 'Warnungen'}, siehe Meldungen)` : '';
    const what = result.kind === 'source' ? `${name} assembliert${warned}; Prozessor zurückgesetzt.` : `${name} geladen; Prozessor zurückgesetzt.`;
    setStatus([what, ...result.messages].join(' '));
  }
  return true;
}

async function assemble() {
  if (!page.ready || page.running) return;
  try {
    if (await loadProgram(page.sourceName, editor.text)) page.image = null;
    scheduleSave();
  } catch (error) {
    reportFailure(error);
  }
}

function setSourceName(name) {
  page.sourceName = SourceExtensions.test(name) ? name : name.replace(/\.[^.]*$/, '') + '.s';
  $('source-name').textContent = `(${page.sourceName})`;
  document.title = `Tavora – ${page.sourceName}`;
}

async function openFile(file) {
  if (!file) return;
  if (!page.ready || page.running) {
    setStatus(`Während eines Laufs wird keine Datei geladen; erst Anhalten (F2).`);
    return;
  }
  if (file.size > page.info.maxFileBytes) {
    setStatus(`Datei ${file.name} ist zu groß (höchstens ${number(page.info.maxFileBytes / 1048576)} MiB).`);
    return;
  }
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch {
    setStatus(`Datei ${file.name} kann nicht geöffnet werden`);
    return;
  }
  try {
    if (SourceExtensions.test(file.name)) {
      setSourceName(file.name);
      editor.text = new TextDecoder().decode(bytes);
      if (await loadProgram(page.sourceName, editor.text)) page.image = null;
    } else {
      // A refused image leaves the default image, which needs keeping no more than it.
      page.image = await loadProgram(file.name, bytes) ? { name: file.name, text: new TextDecoder().decode(bytes) } : null;
    }
    scheduleSave();
  } catch (error) {
    reportFailure(error);
  }
}

async function loadExample(name) {
  if (!name || page.running) return;
  try {
    const response = await fetch(`examples/${encodeURIComponent(name)}`);
    if (!response.ok) throw new Error(String(response.status));
    setSourceName(name);
    editor.text = await response.text();
    if (await loadProgram(page.sourceName, editor.text)) page.image = null;
    scheduleSave();
  } catch (error) {
    setStatus(`Das Beispiel ${name} kann nicht geladen werden (${error.message}).`);
  }
}

function download(name, text) {
  const url = URL.createObjectURL(new Blob([text], { type: 'text/plain;charset=utf-8' }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

async function downloadCod() {
  if (page.image) {
    download(page.image.name, page.image.text);
    return;
  }
  const text = await client.call('cod');
  if (!text) {
    setStatus('Es gibt noch kein assembliertes Programm: erst Assemblieren.');
    return;
  }
  download(page.sourceName.replace(/\.(s|asm)$/i, '') + '.cod', text);
}

async function share() {
  const link = location.href.split('#')[0] + encodeShare(editor.text, page.sourceName);
  const box = $('share-box');
  box.hidden = false;
  $('share-link').value = link;
  try {
    await navigator.clipboard.writeText(link);
    setStatus('Link mit dem Quelltext kopiert; der Quelltext steht im Link und geht an keinen Server.');
  } catch {
    $('share-link').select();
    setStatus('Der Link steht im Feld „Link zum Teilen“; bitte von dort kopieren.');
  }
}

// ---- saving the page ----

let saveTimer = 0;
function scheduleSave() {
  if (!page.ready) return;
  clearTimeout(saveTimer);
  saveTimer = setTimeout(saveNow, 300);
}

function saveNow() {
  clearTimeout(saveTimer);
  if (!page.ready) return;
  save({
    source: editor.text,
    name: page.sourceName,
    image: page.image,
    breakpoints: (page.snapshot?.breakpoints || []).map(breakpointFields),
    inspectors: inspectors.addresses(),
    options: {
      symbols: $('opt-symbols').checked,
      source: $('opt-source').checked,
      changed: $('opt-changed').checked,
      speed: Number($('speed').value),
      breakpoints: !$('breakpoints-panel').hidden,
    },
  });
}

const BreakpointFieldNames = ['useInstruction', 'instruction', 'lockPosition', 'position', 'lockRegister', 'register',
  'lockValue', 'value', 'useCount', 'maxCount', 'actCount'];

function breakpointFields(bp) {
  const fields = {};
  for (const name of BreakpointFieldNames) {
    const v = bp[name];
    fields[name] = typeof v === 'boolean' ? v : (Number.isFinite(Number(v)) ? Number(v) : 0);
  }
  return fields;
}

// ---- the views ----

const editor = new SourceEditor($('editor'), {
  onChange: () => {
    page.sourceEdited = true;
    scheduleSave();
  },
});

const codeView = new CodeView($('code'), {
  onView: () => sendView(),
  onToggle: async (address) => {
    try { render((await client.call('toggle', { kind: 'instruction', key: address })).snapshot); } catch (e) { reportFailure(e); }
  },
});

const registers = new RegisterPanel($('regs-body'), $('reg-pc'), {
  onToggle: async (index) => {
    try { render((await client.call('toggle', { kind: 'register', key: index })).snapshot); } catch (e) { reportFailure(e); }
  },
  onEdit: async (index, text, name) => {
    const result = await client.call('setReg', { index, text });
    if (!result.ok) {
      setStatus(`Ungültiger Wert für ${name}: „${text}“ (${result.error}); der Wert bleibt.`);
      render(result.snapshot);
      return false;
    }
    // An edit is no change by the program: it is not marked.
    if (index >= 0 && page.baseline) page.baseline[index] = result.snapshot.state.regs[index];
    if (index < 0) render(await client.call('follow'));
    else render(result.snapshot);
    setStatus(`${name} := ${hex(result.value)}`);
    return true;
  },
});

const inspectors = new Inspectors($('inspectors'), {
  onView: () => sendView(),
  onChanged: () => scheduleSave(),
  evaluate: (text) => client.call('evaluate', { text }),
  onStatus: setStatus,
  onToggle: async (address) => {
    try { render((await client.call('toggle', { kind: 'memory', key: address })).snapshot); } catch (e) { reportFailure(e); }
  },
  onEdit: async (address, text) => {
    const result = await client.call('writeWord', { address, text });
    if (!result.ok) {
      setStatus(`Ungültiger Wert für ${hex(address)}: „${text}“ (${result.error}); das Wort bleibt.`);
      return false;
    }
    render(result.snapshot);
    setStatus(`${hex(address)} := ${hex(result.value)}`);
    return true;
  },
});

const breakpointPanel = new BreakpointPanel({
  body: $('bp-body'),
  dialog: $('bp-dialog'),
  evaluate: (text) => client.call('evaluate', { text }),
  currentPC: () => page.snapshot?.state.pc ?? 0,
  onDialog: (open) => {
    page.dialogOpen = open;
    if (!open && page.ackAfterDialog) {
      page.ackAfterDialog = false;
      if (page.running === 'display') client.send('ack');
    }
  },
  onPut: async (index, bp) => {
    try { render((await client.call('putBreakpoint', { index, bp })).snapshot); } catch (e) { reportFailure(e); }
  },
  onDelete: async (index) => {
    try { render((await client.call('deleteBreakpoint', { index })).snapshot); } catch (e) { reportFailure(e); }
  },
});

function toggleBreakpointPanel(show) {
  const panel = $('breakpoints-panel');
  panel.hidden = show === undefined ? !panel.hidden : !show;
  $('show-breakpoints').setAttribute('aria-pressed', String(!panel.hidden));
  if (!panel.hidden && show === undefined) breakpointPanel.focus();
  scheduleSave();
}

async function breakpointAtPC(set) {
  if (!page.ready || page.running) return;
  try {
    const pc = page.snapshot.state.pc;
    const here = (page.snapshot.code || []).some((l) => !l.label && l.address === pc && l.breakpoint);
    render((await client.call('breakpointAtPC', { set: set ?? !here })).snapshot);
  } catch (e) { reportFailure(e); }
}

async function gotoCode() {
  const field = $('code-goto');
  const text = field.value.trim();
  if (!text) {
    setStatus('Bitte eine Adresse eingeben.');
    return;
  }
  const result = await client.call('evaluate', { text });
  if (!result.ok) {
    setStatus(`„${text}“ ist keine gültige Adresse.`);
    return;
  }
  codeView.moveTo(result.value);
  codeView.focusAddress(result.value);
  sendView();
  setStatus(`Code ab ${hex(result.value)}.`);
}

async function showPC() {
  if (!page.ready) return;
  render(await client.call('follow'));
  codeView.focusAddress(page.snapshot.state.pc);
}

function updateSpeedText() {
  const speed = Speeds[Number($('speed').value)] ?? 0;
  $('speed-text').textContent = speed ? `${number(speed)}/s` : 'höchste';
  $('speed').setAttribute('aria-valuetext', speed ? `${number(speed)} Schritte je Sekunde` : 'so schnell die Anzeige folgen kann');
}

// ---- controls ----

$('open').addEventListener('click', () => $('file').click());
$('file').addEventListener('change', () => {
  const file = $('file').files[0];
  $('file').value = '';
  openFile(file);
});
$('examples').addEventListener('change', () => {
  const name = $('examples').value;
  $('examples').value = '';
  loadExample(name);
});
$('save-source').addEventListener('click', () => download(page.sourceName, editor.text));
$('save-cod').addEventListener('click', () => downloadCod().catch(reportFailure));
$('share').addEventListener('click', () => share());
$('assemble').addEventListener('click', () => assemble());
$('run').addEventListener('click', () => startRun('display'));
$('run-fast').addEventListener('click', () => startRun('fast'));
$('step').addEventListener('click', () => singleStep());
$('stop').addEventListener('click', () => stopRun());
$('reset').addEventListener('click', () => resetProcessor());
$('speed').addEventListener('input', () => {
  updateSpeedText();
  client.send('speed', { speed: Speeds[Number($('speed').value)] ?? 0 });
  scheduleSave();
});
$('show-breakpoints').addEventListener('click', () => toggleBreakpointPanel());
$('add-inspector').addEventListener('click', () => { inspectors.add(); });
for (const id of ['opt-symbols', 'opt-source']) $(id).addEventListener('change', () => { sendView(); scheduleSave(); });
$('opt-changed').addEventListener('change', () => { render(page.snapshot); });
$('code-goto').addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); gotoCode().catch(reportFailure); } });
$('show-pc').addEventListener('click', () => showPC().catch(reportFailure));
$('code-up').addEventListener('click', () => codeView.scrollBy(-15));
$('code-down').addEventListener('click', () => codeView.scrollBy(15));

// Keys of the desktop program, with Alt+Shift+letter where a browser or
// system keeps the function key for itself.
const keyActions = [
  { test: (e) => e.key === 'F9' && !e.shiftKey && !e.ctrlKey, run: () => startRun('display') },
  { test: (e) => e.key === 'F9' && e.shiftKey, run: () => startRun('fast') },
  { test: (e) => e.key === 'F8', run: () => singleStep() },
  { test: (e) => e.key === 'F2' && !e.ctrlKey, run: () => stopRun() },
  { test: (e) => e.key === 'F2' && e.ctrlKey, run: () => resetProcessor() },
  { test: (e) => e.key === 'F5' && !e.ctrlKey, run: () => breakpointAtPC(true) },
  { test: (e) => e.key === 'F5' && e.ctrlKey, run: () => breakpointAtPC(false) },
  { test: (e) => e.key === 'F6', run: () => toggleBreakpointPanel() },
  { test: (e) => e.key === 'F4', run: () => inspectors.add() },
  { test: (e) => (e.ctrlKey || e.metaKey) && !e.altKey && e.key.toLowerCase() === 's', run: () => assemble() },
  { test: (e) => (e.ctrlKey || e.metaKey) && !e.altKey && e.key.toLowerCase() === 'o', run: () => $('file').click() },
  { test: (e) => (e.ctrlKey || e.metaKey) && !e.altKey && e.key.toLowerCase() === 'g', run: () => $('code-goto').focus() },
];
const altKeys = {
  KeyS: () => startRun('display'), KeyF: () => startRun('fast'), KeyE: () => singleStep(), KeyA: () => stopRun(),
  KeyZ: () => resetProcessor(), KeyB: () => breakpointAtPC(), KeyH: () => toggleBreakpointPanel(),
  KeyM: () => inspectors.add(), KeyO: () => $('file').click(), KeyG: () => $('code-goto').focus(), KeyP: () => showPC(),
};

window.addEventListener('keydown', (e) => {
  if (page.dialogOpen || $('bp-dialog').open) return;
  if (e.altKey && e.shiftKey && !e.ctrlKey && altKeys[e.code]) {
    e.preventDefault();
    altKeys[e.code]();
    return;
  }
  for (const action of keyActions) {
    if (action.test(e)) {
      e.preventDefault();
      e.stopPropagation();
      if (!e.repeat || e.key === 'F8') action.run();
      return;
    }
  }
}, true);

// Files dropped anywhere on the page are opened.
let dragDepth = 0;
document.addEventListener('dragenter', (e) => {
  if (!e.dataTransfer || ![...e.dataTransfer.types].includes('Files')) return;
  dragDepth++;
  $('drop-hint').hidden = false;
});
document.addEventListener('dragleave', () => {
  dragDepth = Math.max(0, dragDepth - 1);
  if (!dragDepth) $('drop-hint').hidden = true;
});
document.addEventListener('dragover', (e) => {
  if (e.dataTransfer && [...e.dataTransfer.types].includes('Files')) e.preventDefault();
});
document.addEventListener('drop', (e) => {
  dragDepth = 0;
  $('drop-hint').hidden = true;
  const file = e.dataTransfer && e.dataTransfer.files && e.dataTransfer.files[0];
  if (!file) return;
  e.preventDefault();
  openFile(file);
});

window.addEventListener('pagehide', () => saveNow());

// ---- start-up ----

async function fetchText(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status}`);
  return response.text();
}

function fillExamples(names) {
  const select = $('examples');
  for (const name of names) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name;
    select.append(option);
  }
}

async function start() {
  setRunning(null);
  updateSpeedText();
  const saved = loadSaved();
  let shared = null;
  let sharedError = false;
  try {
    shared = decodeShare(location.hash);
  } catch {
    sharedError = true;
  }
  if (location.hash) history.replaceState(null, '', location.pathname + location.search);

  const examplesPromise = fetchText('examples/index.json').then((t) => JSON.parse(t)).catch(() => []);
  const libraryPromise = fetchText('examples/library.json').then((t) => JSON.parse(t)).catch(() => []);
  const init = await client.call('init');
  // The examples' library beside every source, for .include "lib/...".
  for (const path of (await libraryPromise).filter((n) => typeof n === 'string')) {
    const text = await fetchText(`examples/${path.split('/').map(encodeURIComponent).join('/')}`).catch(() => null);
    if (text !== null) await client.call('putFile', { path, text });
  }
  page.info = init.info;
  editor.setLanguage(page.info.mnemonics, page.info.directives);
  const examples = (await examplesPromise).filter((n) => typeof n === 'string');
  fillExamples(examples);

  const options = saved?.options || {};
  if (typeof options.symbols === 'boolean') $('opt-symbols').checked = options.symbols;
  if (typeof options.source === 'boolean') $('opt-source').checked = options.source;
  if (typeof options.changed === 'boolean') $('opt-changed').checked = options.changed;
  if (Number.isInteger(options.speed) && options.speed >= 0 && options.speed < Speeds.length) $('speed').value = String(options.speed);
  updateSpeedText();
  if (options.breakpoints) toggleBreakpointPanel(true);

  let source;
  let name;
  if (shared) {
    ({ source, name } = shared);
  } else if (saved && saved.source !== null) {
    ({ source, name } = saved);
  } else {
    name = examples.includes('sum.s') ? 'sum.s' : examples[0] || 'quelltext.s';
    source = examples.length ? await fetchText(`examples/${encodeURIComponent(name)}`).catch(() => '') : '';
  }
  setSourceName(name);
  editor.text = source;
  page.ready = true;
  setRunning(null);
  for (const address of saved?.inspectors || []) inspectors.add(address, { focus: false });

  let loaded;
  if (!shared && saved?.image) {
    loaded = await loadProgram(saved.image.name, saved.image.text, { quiet: true });
    if (loaded) page.image = saved.image;
  } else {
    loaded = await loadProgram(page.sourceName, source, { quiet: true });
  }
  if (saved?.breakpoints?.length) {
    render((await client.call('setBreakpoints', { list: saved.breakpoints.map(breakpointFields) })).snapshot);
  }
  await sendView();
  if (sharedError) setStatus('Der Link enthält keinen lesbaren Quelltext; der zuletzt bearbeitete wird gezeigt.');
  else if (!loaded) setStatus(`${page.sourceName} ist ungültig; die Meldungen stehen unter dem Quelltext.`);
  else if (shared) setStatus(`Quelltext ${page.sourceName} aus dem Link geladen. ${ReadyText}`);
  else setStatus(ReadyText);
  document.body.classList.add('ready');
}

start().catch((error) => {
  setStatus(`Die Seite konnte nicht starten: ${error && error.message ? error.message : error}`);
});
