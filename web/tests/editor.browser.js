// The editor, assembling and the page's memory.
import {
  test, expect, openPage, status, codeLine, editor, typeSource, clickMargin,
} from './fixtures.js';

test('a broken source marks its errors at their lines and keeps the loaded program', async ({ page }) => {
  await openPage(page);
  await expect(codeLine(page, '$00800001')).toHaveText(/addi\s+R02,R30,\$0020/);
  await typeSource(page, '; x\n        .code $800000\n        foo   R01\n        addi R01,R00,1 junk\n');
  const messages = page.getByRole('list', { name: 'Meldungen' }).getByRole('listitem');
  await expect(messages).toHaveText([
    "sum.s:3:9: error: unknown mnemonic 'foo'; expected an instruction or a directive",
    "sum.s:4:24: error: missing ',' before 'junk', or an operator between the two values",
  ]);
  await expect(status(page)).toContainText('sum.s ist ungültig; das geladene Programm bleibt.');
  // The marks sit on the lines and columns the assembler named.
  const lines = page.locator('.cm-line');
  await expect(lines.nth(2).locator('.cm-lintRange-error')).toHaveText('foo');
  await expect(lines.nth(3).locator('.cm-lintRange-error')).toHaveText('junk');
  await expect(codeLine(page, '$00800001')).toHaveText(/addi\s+R02,R30,\$0020/);
});

test('a reload restores the source, the breakpoints and the inspectors', async ({ page }) => {
  await openPage(page);
  await editor(page).click();
  await page.keyboard.press('Control+Home');
  await page.keyboard.insertText('; kept over a reload\n');
  await page.keyboard.press('Control+S');
  await expect(status(page)).toContainText('assembliert');
  await clickMargin(page, '$00800006');
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  await page.getByRole('region', { name: 'Speicher' }).getByRole('textbox', { name: 'Adresse' }).fill('array');
  await page.getByRole('region', { name: 'Speicher' }).getByRole('textbox', { name: 'Adresse' }).press('Enter');
  await expect(page.getByRole('gridcell', { name: '$00800020', exact: true }).first()).toBeVisible();
  await expect(codeLine(page, '$00800006')).toHaveClass(/\bbp\b/);

  await page.reload();
  await expect(page.locator('body')).toHaveClass(/ready/);
  await expect(editor(page)).toContainText('; kept over a reload');
  await expect(codeLine(page, '$00800006')).toHaveClass(/\bbp\b/);
  const inspector = page.getByRole('region', { name: 'Speicher' });
  await expect(inspector).toHaveCount(1);
  await expect(inspector.getByRole('textbox', { name: 'Adresse' })).toHaveValue('$00800020');
  await expect(inspector.getByRole('gridcell', { name: '$00800020', exact: true })).toHaveText('00000003');
  await page.getByRole('button', { name: 'Haltepunkte' }).click();
  await expect(page.getByRole('row').filter({ hasText: '$00800006' })).toHaveCount(1);
});

test('a shared link opens the same source in a fresh browser', async ({ page, browser }) => {
  await openPage(page);
  const source = '; geteilt: äöü <b>kein</b> Markup\n        .code $800000\n        .header\nstart:  addi  R07,R00,7\ndone:   beqz  R00,done\n';
  await typeSource(page, source);
  await expect(status(page)).toContainText('assembliert');
  await page.getByRole('button', { name: 'Teilen' }).click();
  const link = await page.getByRole('textbox', { name: 'Link zum Teilen' }).inputValue();
  expect(link).toMatch(/#q=/);
  expect(link).not.toContain('addi');

  const other = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const second = await other.newPage();
  const errors = [];
  second.on('pageerror', (e) => errors.push(e.message));
  await openPage(second, link);
  await expect(editor(second)).toHaveText(source.replace(/\n/g, ''));
  await expect(second.locator('b')).toHaveCount(0);
  await second.keyboard.press('F8');
  await expect(second.getByRole('textbox', { name: 'R07', exact: true })).toHaveValue('$00000007');
  expect(errors).toEqual([]);
  await other.close();
});
