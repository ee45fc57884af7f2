// Files dropped on the page, files from the picker, downloads, and input
// that is not what it should be.
import { readFileSync } from 'node:fs';
import { test, expect, openPage, status, codeLine, register } from './fixtures.js';

/** Drops a file with the given name and text on the page, as a file manager would. */
async function dropFile(page, name, text) {
  const dataTransfer = await page.evaluateHandle(([fileName, content]) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([content], fileName, { type: 'text/plain' }));
    return transfer;
  }, [name, text]);
  await page.dispatchEvent('main', 'dragenter', { dataTransfer });
  await page.dispatchEvent('main', 'dragover', { dataTransfer });
  await page.dispatchEvent('main', 'drop', { dataTransfer });
}

test('a dropped .cod file loads and runs', async ({ page }) => {
  await openPage(page);
  await dropFile(page, 'drop.cod', '.CODE\n$800000\n3\n$52455341\n$24010005\n$1000FFFF\n');
  await expect(status(page)).toContainText('drop.cod geladen');
  await expect(codeLine(page, '$00800001')).toHaveText(/24010005\s+addi\s+R01,R00,\$0005/);
  await expect(register(page, 'PC')).toHaveValue('$00800001');
  await page.keyboard.press('F8');
  await expect(register(page, 'R01')).toHaveValue('$00000005');
});

test('bad input: an invalid image and a damaged link give German messages, never a broken page', async ({ page }) => {
  await openPage(page);
  await dropFile(page, 'kaputt.cod', '.CODE\nxyz\n<script>window.hacked = 1</script>\n');
  const messages = page.getByRole('list', { name: 'Meldungen' }).getByRole('listitem');
  await expect(messages).toHaveText(['Die angegebene Datei einhält ungültige Daten.']);
  await expect(status(page)).toContainText('Die angegebene Datei einhält ungültige Daten.');
  // The loader put the default image in place: the header and the idle loop.
  await expect(codeLine(page, '$00800001')).toHaveText(/1000ffff/);
  expect(await page.evaluate(() => window.hacked)).toBeUndefined();

  await page.goto('about:blank');
  await openPage(page, './#q=nicht-deflate!!&n=x.s');
  await expect(status(page)).toContainText('Der Link enthält keinen lesbaren Quelltext');
  await expect(page.getByRole('button', { name: 'Einzelschritt' })).toBeEnabled();
});

test('Öffnen takes a source from the file picker, and both downloads give the files', async ({ page }) => {
  await openPage(page);
  const chooserPromise = page.waitForEvent('filechooser');
  await page.getByRole('button', { name: 'Öffnen' }).click();
  const chooser = await chooserPromise;
  await chooser.setFiles({
    name: 'sieben.asm', mimeType: 'text/plain',
    buffer: Buffer.from('        .code $800000\n        .header\nstart:  addi  R07,R00,7\ndone:   beqz  R00,done\n'),
  });
  await expect(status(page)).toContainText('sieben.asm assembliert');
  await page.keyboard.press('F8');
  await expect(register(page, 'R07')).toHaveValue('$00000007');

  const source = page.waitForEvent('download');
  await page.getByRole('button', { name: 'Quelltext speichern' }).click();
  const sourceFile = await source;
  expect(sourceFile.suggestedFilename()).toBe('sieben.asm');
  expect(readFileSync(await sourceFile.path(), 'utf8')).toContain('addi  R07,R00,7');

  const image = page.waitForEvent('download');
  await page.getByRole('button', { name: '.cod speichern' }).click();
  const imageFile = await image;
  expect(imageFile.suggestedFilename()).toBe('sieben.cod');
  const text = readFileSync(await imageFile.path(), 'utf8');
  expect(text.split('\n').slice(0, 6)).toEqual(['.CODE', '0x00800000', '0x3', '0x52455341', '0x24070007', '0x1000ffff']);
});
