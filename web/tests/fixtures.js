// Every test runs on a fresh page whose console must stay free of errors
// and uncaught exceptions and which asks for nothing but the site's own
// files; it reaches the page only through its accessible names, real
// clicks and real keys.
import { test as base, expect } from '@playwright/test';

export const test = base.extend({
  page: async ({ page, baseURL }, use) => {
    const errors = [];
    const origin = new URL(baseURL).origin;
    page.on('request', (request) => {
      const url = request.url();
      if (!url.startsWith(origin + '/') && !/^(data|blob|about):/.test(url)) errors.push(`request: ${url}`);
    });
    page.on('pageerror', (error) => errors.push(`exception: ${error.message}`));
    page.on('console', (message) => { if (message.type() === 'error') errors.push(`console: ${message.text()}`); });
    await use(page);
    expect(errors, 'errors in the page').toEqual([]);
  },
});
export { expect };

/** Opens the page (optionally at a link) and waits until it is usable. */
export async function openPage(page, url = './') {
  await page.goto(url);
  await expect(page.locator('body')).toHaveClass(/ready/);
}

export const status = (page) => page.getByRole('status', { name: 'Status' });
export const codeList = (page) => page.getByRole('list', { name: 'Code' });
export const register = (page, name) => page.getByRole('textbox', { name, exact: true });
export const editor = (page) => page.getByRole('textbox', { name: 'Quelltext', exact: true });

/** The code view's line for an address (not its label line). */
export function codeLine(page, address) {
  return codeList(page).getByRole('listitem').filter({ hasText: new RegExp(`^\\${address}:`) });
}

/** Replaces the editor's text by typing it and assembles it with Ctrl+S. */
export async function typeSource(page, text) {
  await editor(page).click();
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Delete');
  await page.keyboard.insertText(text);
  await page.keyboard.press('Control+S');
}

/** A click in the left margin of a code line. */
export async function clickMargin(page, address) {
  await codeLine(page, address).click({ position: { x: 6, y: 8 } });
}

// Counts up in R01 and stores it in `cell` forever.
export const counterSource = `        .code $800000
        .header
start:  addi  R01,R00,0
loop:   addi  R01,R01,1
        sw    R01,R30,cell-$800000
        beqz  R00,loop
        .data $800040
cell:   .word 0
`;
