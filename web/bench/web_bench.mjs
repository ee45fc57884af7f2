// Speed of the browser edition, measured as a user meets it in Debian's
// headless Chromium, beside the native headless run of the same loop that
// `make bench` uses:
//   - Schnell ausführen on the loop image, against native tavora-run;
//   - Starten at the fastest setting with code view, registers and one
//     inspector shown, in steps per second;
//   - the time from opening the page to a usable editor with an example;
//   - the size of the whole site.
//
//   node bench/web_bench.mjs BUILD      (BUILD: the native Release build)
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { chromium } from '@playwright/test';

const here = path.dirname(fileURLToPath(import.meta.url));
const web = path.resolve(here, '..');
const build = path.resolve(process.argv[2] ?? path.join(web, '../build'));
const site = path.join(web, '../build-web/site');
const port = Number(process.env.TAVORA_BENCH_PORT || 4174);
const Iterations = 20_000_000;
const Instructions = Iterations * 6 + 1;
const Rounds = 3;

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavora-web-bench-'));
const loop = path.join(dir, 'loop.cod');
const image = spawnSync(path.join(build, 'bench/loop_image'), [String(Iterations)], { encoding: 'utf8' });
if (image.status !== 0) throw new Error(`loop_image failed: ${image.stderr}`);
fs.writeFileSync(loop, image.stdout);

const best = (xs) => Math.min(...xs);
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Native: the whole runner, from start to exit.
const nativeMs = [];
for (let i = 0; i < Rounds; ++i) {
  const t = process.hrtime.bigint();
  const r = spawnSync(path.join(build, 'tools/run/tavora-run'), [loop], { encoding: 'utf8' });
  nativeMs.push(Number(process.hrtime.bigint() - t) / 1e6);
  if (!r.stdout.startsWith('stop: idle-loop')) throw new Error(`native run: ${r.stdout}${r.stderr}`);
}

const server = spawn(process.execPath, [path.join(web, 'serve.mjs'), '--port', String(port), '--root', site],
  { stdio: 'ignore' });
const base = `http://127.0.0.1:${port}/`;
for (let i = 0; ; ++i) {
  try {
    if ((await fetch(base + 'index.html')).ok) break;
  } catch {
    if (i > 100) throw new Error('the static server did not start');
    await new Promise((r) => setTimeout(r, 50));
  }
}

const browser = await chromium.launch({
  executablePath: process.env.TAVORA_CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});

try {
  // Page load: navigation to an editor holding the example and a filled
  // code view, in a fresh profile each time.
  const loadMs = [];
  for (let i = 0; i < Rounds; ++i) {
    const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
    const page = await context.newPage();
    const t = Date.now();
    await page.goto(base);
    await page.getByRole('textbox', { name: 'Quelltext' }).filter({ hasText: '.code' }).waitFor();
    await page.getByRole('list', { name: 'Code' }).getByRole('listitem').first().waitFor();
    loadMs.push(Date.now() - t);
    await context.close();
  }

  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  await page.goto(base);
  await page.getByRole('list', { name: 'Code' }).getByRole('listitem').first().waitFor();
  const chooser = page.waitForEvent('filechooser');
  await page.getByRole('button', { name: 'Öffnen' }).click();
  await (await chooser).setFiles(loop);
  await page.getByRole('list', { name: 'Code' }).getByText('$00800001:').first().waitFor();

  // One click of a run button, timed in the page from the click to the
  // button being usable again (the run's end).
  const timedRun = (name) => page.evaluate(async (label) => {
    const button = [...document.querySelectorAll('button')].find((b) => b.textContent.trim() === label);
    const frame = () => new Promise((r) => setTimeout(r, 1));
    const t = performance.now();
    button.click();
    while (!button.disabled && performance.now() - t < 500) await frame();
    while (button.disabled) await frame();
    return performance.now() - t;
  }, name);
  const stepsOfStatus = async () => {
    const text = await page.getByRole('status', { name: 'Status' }).textContent();
    const m = /nach ([\d.]+) Schritt/.exec(text);
    return m ? Number(m[1].replace(/\./g, '')) : NaN;
  };

  const fastMs = [];
  for (let i = 0; i < Rounds; ++i) {
    await page.getByRole('button', { name: 'Zurücksetzen' }).click();
    fastMs.push(await timedRun('Schnell ausführen'));
    const steps = await stepsOfStatus();
    if (steps !== Instructions) throw new Error(`fast run: ${steps} steps instead of ${Instructions}`);
  }

  // Starten at the fastest setting, with an inspector open, for 3 seconds.
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  await page.getByRole('slider', { name: 'Geschwindigkeit' }).fill(
    await page.getByRole('slider', { name: 'Geschwindigkeit' }).getAttribute('max'));
  const displayRates = [];
  for (let i = 0; i < Rounds; ++i) {
    await page.getByRole('button', { name: 'Zurücksetzen' }).click();
    const t = Date.now();
    await page.getByRole('button', { name: 'Starten' }).click();
    await page.waitForTimeout(3000);
    await page.getByRole('button', { name: 'Anhalten' }).click();
    await page.getByRole('button', { name: 'Starten' }).and(page.locator(':enabled')).waitFor();
    displayRates.push((await stepsOfStatus()) / ((Date.now() - t) / 1000));
  }

  let siteBytes = 0;
  const walk = (d) => {
    for (const e of fs.readdirSync(d, { withFileTypes: true })) {
      const p = path.join(d, e.name);
      if (e.isDirectory()) walk(p);
      else siteBytes += fs.statSync(p).size;
    }
  };
  walk(site);

  const rate = (ms) => Instructions / (ms / 1000) / 1e6;
  const nativeRate = rate(best(nativeMs)), webRate = rate(best(fastMs));
  const line = (label, text) => console.log(`  ${label.padEnd(44)} ${text}`);
  console.log(`== web_bench (loop of ${Iterations.toLocaleString('en')} iterations, best of ${Rounds})`);
  line('native headless fast run (tavora-run)', `best ${nativeRate.toFixed(0)}, median ${rate(median(nativeMs)).toFixed(0)} M instructions/s`);
  line('browser Schnell ausführen', `best ${webRate.toFixed(0)}, median ${rate(median(fastMs)).toFixed(0)} M instructions/s` +
    `  (${(100 * webRate / nativeRate).toFixed(0)} % of native; target 50 %)`);
  line('browser Starten, fastest, one inspector', `best ${Math.max(...displayRates).toFixed(0)}, median ${median(displayRates).toFixed(0)} steps/s (target 10,000)`);
  line('page load to a usable editor', `best ${best(loadMs)} ms, median ${median(loadMs)} ms (target 1,500 ms)`);
  line('whole site', `${(siteBytes / 1024).toFixed(0)} KiB (target 2 MB)`);
} finally {
  await browser.close();
  server.kill();
  fs.rmSync(dir, { recursive: true, force: true });
}
