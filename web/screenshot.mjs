// Renews docs/web-screenshot.png: the built site at 1280 x 800 with an
// example loaded, stepped a few times and one inspector open.
//   node screenshot.mjs [OUTPUT.png] [--width W --height H]
import { chromium } from '@playwright/test';
import { spawn } from 'node:child_process';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
};
const output = resolve(args.find((a, i) => !a.startsWith('--') && !(i > 0 && args[i - 1].startsWith('--')))
  || join(here, '..', 'docs', 'web-screenshot.png'));
const width = Number(option('--width', 1280));
const height = Number(option('--height', 800));
const port = 4179;

const server = spawn(process.execPath, [join(here, 'serve.mjs'), '--port', String(port)], { stdio: 'ignore' });
try {
  const browser = await chromium.launch({
    executablePath: process.env.TAVORA_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage({ viewport: { width, height } });
  for (let i = 0; ; ++i) {
    try {
      await page.goto(`http://127.0.0.1:${port}/`);
      break;
    } catch (error) {
      if (i > 50) throw error;
      await new Promise((r) => setTimeout(r, 100));
    }
  }
  await page.locator('body.ready').waitFor();
  await page.getByRole('combobox', { name: 'Beispiele' }).selectOption('factorial.s');
  await page.getByRole('status', { name: 'Status' }).filter({ hasText: 'assembliert' }).waitFor();
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  await page.getByRole('region', { name: 'Speicher' }).getByRole('textbox', { name: 'Adresse' }).fill('$800100');
  await page.getByRole('region', { name: 'Speicher' }).getByRole('textbox', { name: 'Adresse' }).press('Enter');
  await page.getByRole('button', { name: 'Haltepunkte' }).click();
  await page.getByRole('list', { name: 'Code' }).getByRole('listitem').filter({ hasText: /^\$00800007:/ }).click({ position: { x: 6, y: 8 } });
  for (let i = 0; i < 6; ++i) await page.keyboard.press('F8');
  await page.getByRole('status', { name: 'Status' }).filter({ hasText: '6 Schritte' }).waitFor();
  await page.locator('body').click({ position: { x: 2, y: height - 2 } });
  await page.screenshot({ path: output, fullPage: width < 600 });
  await browser.close();
  console.log(`screenshot: ${output}`);
} finally {
  server.kill();
}
