// Memory inspectors.
import { test, expect, openPage, status, register, typeSource, counterSource } from './fixtures.js';

test('an inspector follows the stores of a fast run', async ({ page }) => {
  await openPage(page);
  await typeSource(page, counterSource);
  await expect(status(page)).toContainText('assembliert');
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  const inspector = page.getByRole('region', { name: 'Speicher' });
  await inspector.getByRole('textbox', { name: 'Adresse' }).fill('cell');
  await inspector.getByRole('textbox', { name: 'Adresse' }).press('Enter');
  const word = inspector.getByRole('gridcell', { name: '$00800040', exact: true });
  await expect(word).toHaveText('00000000');

  await page.getByRole('button', { name: 'Schnell ausführen' }).click();
  await expect(status(page)).toContainText('Läuft schnell');
  // While the run goes on, the word keeps changing on the screen.
  await expect(word).not.toHaveText('00000000');
  const first = await word.textContent();
  await expect(word).not.toHaveText(first);
  await page.keyboard.press('F2');
  await expect(status(page)).toContainText('Angehalten');
  const stored = parseInt(await word.textContent(), 16);
  const r01 = parseInt((await register(page, 'R01').inputValue()).slice(1), 16);
  expect(r01 - stored).toBeGreaterThanOrEqual(0);
  expect(r01 - stored).toBeLessThanOrEqual(1);
});

test('a click on a word sets a memory watch that stops a run, and a word can be typed over', async ({ page }) => {
  await openPage(page);
  await typeSource(page, counterSource);
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  const inspector = page.getByRole('region', { name: 'Speicher' });
  await inspector.getByRole('textbox', { name: 'Adresse' }).fill('$800040');
  await inspector.getByRole('textbox', { name: 'Adresse' }).press('Enter');
  const word = inspector.getByRole('gridcell', { name: '$00800040', exact: true });
  await word.click();
  await expect(word).toHaveClass(/watched/);
  await page.keyboard.press('F9');
  await expect(status(page)).toContainText('Haltepunkt bei');
  await expect(word).toHaveText('00000001');

  const next = inspector.getByRole('gridcell', { name: '$00800041', exact: true });
  await next.focus();
  await page.keyboard.press('Enter');
  await page.keyboard.type('0x1234');
  await page.keyboard.press('Enter');
  await expect(next).toHaveText('00001234');
});
