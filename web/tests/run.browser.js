// Run control through the keys and buttons of the desktop program.
import {
  test, expect, openPage, status, codeList, codeLine, register, typeSource, clickMargin, counterSource,
} from './fixtures.js';

test('an example loads from "Beispiele" and single steps follow it', async ({ page }) => {
  await openPage(page);
  await page.getByRole('combobox', { name: 'Beispiele' }).selectOption('factorial.s');
  await expect(status(page)).toContainText('factorial.s assembliert');
  await expect(codeList(page).locator('li[aria-current="true"]')).toHaveText(/^\$00800001:\s+27dd0110\s+addi\s+R29,R30,\$0110$/);
  await expect(codeList(page).getByRole('listitem').filter({ hasText: /^fact:$/ })).toHaveCount(1);

  for (let i = 0; i < 3; ++i) await page.keyboard.press('F8');
  await expect(register(page, 'PC')).toHaveValue('$00800004');
  await expect(register(page, 'R04')).toHaveValue('$00000005');
  await expect(register(page, 'R20')).toHaveValue('$00800006');
  await expect(page.getByRole('group', { name: 'Nächste Anweisung' })).toHaveText(/^\$00800004:\s+5e800000\s+jalr\s+R20$/);
  await expect(codeList(page).locator('li[aria-current="true"]')).toHaveText(/^\$00800004:/);
  await expect(status(page)).toContainText('3 Schritte');

  // jalr jumps to fact: the branch below names its target's label.
  await page.getByRole('button', { name: 'Einzelschritt' }).click();
  await expect(register(page, 'PC')).toHaveValue('$00800006');
  await expect(codeLine(page, '$00800006')).toHaveText(/bnez\s+R04,\$00800009 <recurse>/);
  // R31 changed in that step and is marked; R04 did not change and is not.
  await expect(register(page, 'R31')).toHaveClass(/changed/);
  await expect(register(page, 'R04')).not.toHaveClass(/changed/);
});

test('an example that includes the examples\' library assembles and runs in the page', async ({ page }) => {
  await openPage(page);
  await page.getByRole('combobox', { name: 'Beispiele' }).selectOption('strings.s');
  await expect(status(page)).toContainText('strings.s assembliert');
  await page.getByRole('button', { name: 'Schnell ausführen' }).click();
  await expect(register(page, 'R01')).toHaveValue('$0000000e');
});

test('a click in the margin sets a breakpoint and Starten runs to it', async ({ page }) => {
  await openPage(page);
  await clickMargin(page, '$00800005');
  await expect(codeLine(page, '$00800005')).toHaveClass(/\bbp\b/);
  await page.keyboard.press('F9');
  await expect(status(page)).toContainText('Angehalten: Haltepunkt bei $00800005');
  await expect(register(page, 'PC')).toHaveValue('$00800005');
  await expect(register(page, 'R03')).toHaveValue('$00000003');
  // The breakpoint on the counter's line wins: red, with the counter marked.
  await expect(codeLine(page, '$00800005')).toHaveClass(/\bbp\b/);
  await expect(codeLine(page, '$00800005')).toHaveAttribute('aria-current', 'true');
  // A second click frees it, and the run goes on to the idle loop.
  await clickMargin(page, '$00800005');
  await expect(codeLine(page, '$00800005')).not.toHaveClass(/\bbp\b/);
  await page.getByRole('button', { name: 'Starten' }).click();
  await expect(status(page)).toContainText('Leerlaufschleife bei $00800009');
  await expect(register(page, 'R01')).toHaveValue('$00000027');
});

test('a breakpoint with a counter of 3 stops on its third occasion', async ({ page }) => {
  await openPage(page);
  await clickMargin(page, '$00800004');
  await page.getByRole('button', { name: 'Haltepunkte' }).click();
  const row = page.getByRole('row').filter({ hasText: '$00800004' });
  await expect(row).toHaveText(/\$00800004\s*--\s*--\s*immer/);
  await row.dblclick();

  const dialog = page.getByRole('dialog', { name: 'Haltepunkt bearbeiten' });
  await expect(dialog).toBeVisible();
  await expect(dialog.getByRole('checkbox', { name: 'an bestimmte Instruktion knüpfen' })).toBeChecked();
  await expect(dialog.getByRole('radio', { name: 'keine Überwachung' })).toBeChecked();
  await expect(dialog.getByRole('spinbutton', { name: 'Stoppen bei:' })).toBeDisabled();
  // Without any condition OK is refused, as in the desktop dialog.
  await dialog.getByRole('checkbox', { name: 'an bestimmte Instruktion knüpfen' }).uncheck();
  await expect(dialog.getByRole('button', { name: 'OK' })).toBeDisabled();
  await dialog.getByRole('checkbox', { name: 'an bestimmte Instruktion knüpfen' }).check();
  await dialog.getByRole('checkbox', { name: 'Zähler verwenden' }).check();
  await dialog.getByRole('spinbutton', { name: 'Stoppen bei:' }).fill('3');
  await dialog.getByRole('button', { name: 'OK' }).click();
  await expect(dialog).toBeHidden();
  await expect(row).toHaveText(/\$00800004\s*0\s*3\s*immer/);

  await page.keyboard.press('F9');
  await expect(status(page)).toContainText('Haltepunkt bei $00800004');
  // loop is reached with R04 = 5, 4, 3: the third time stops.
  await expect(register(page, 'R04')).toHaveValue('$00000003');
  await expect(register(page, 'R01')).toHaveValue('$00000008');
  await expect(row).toHaveText(/\$00800004\s*0\s*3\s*immer/);
});

test('a register takes $hex, 0xhex and decimal values and keeps its value on a bad entry', async ({ page }) => {
  await openPage(page);
  const r05 = register(page, 'R05');
  for (const [typed, shown] of [['0x2a', '$0000002a'], ['$ff', '$000000ff'], ['42', '$0000002a'], ['loop+1', '$00800005']]) {
    await r05.click();
    await page.keyboard.type(typed);
    await page.keyboard.press('Enter');
    await expect(r05).toHaveValue(shown);
  }
  await r05.click();
  await page.keyboard.type('zz');
  await page.keyboard.press('Enter');
  await expect(r05).toHaveValue('$00800005');
  await expect(status(page)).toContainText('Ungültiger Wert für R05: „zz“');
  // A click on the name sets a register watch, a second one frees it.
  await page.getByRole('button', { name: 'R05', exact: true }).click();
  await expect(r05).toHaveClass(/watched/);
  await page.getByRole('button', { name: 'R05', exact: true }).click();
  await expect(r05).not.toHaveClass(/watched/);
});

/** Milliseconds from pressing F2 to the status saying the run stopped, measured in the page. */
async function timeStop(page) {
  await page.evaluate(() => {
    window.stopTimes = {};
    window.addEventListener('keydown', (e) => { if (e.key === 'F2') window.stopTimes.key = performance.now(); }, { capture: true, once: true });
    const status = document.querySelector('[role="status"]');
    new MutationObserver((_, observer) => {
      if (status.textContent.startsWith('Angehalten')) {
        window.stopTimes.stopped = performance.now();
        observer.disconnect();
      }
    }).observe(status, { childList: true, characterData: true, subtree: true });
  });
  await page.keyboard.press('F2');
  await expect(status(page)).toContainText('Angehalten bei');
  return page.evaluate(() => window.stopTimes.stopped - window.stopTimes.key);
}

test('Anhalten ends an endless fast run at once', async ({ page }) => {
  await openPage(page);
  await typeSource(page, counterSource);
  await expect(status(page)).toContainText('assembliert');
  await page.keyboard.press('Shift+F9');
  await expect(status(page)).toContainText('Läuft schnell');
  await expect(page.getByRole('button', { name: 'Anhalten' })).toBeEnabled();
  await page.waitForTimeout(400);
  const ms = await timeStop(page);
  expect(ms, 'time from F2 to the stop').toBeLessThan(100);
  await expect(page.getByRole('button', { name: 'Starten' })).toBeEnabled();
  expect(parseInt((await register(page, 'R01').inputValue()).slice(1), 16)).toBeGreaterThan(1000);
});

test('Anhalten ends an endless displayed run at once', async ({ page }) => {
  await openPage(page);
  await typeSource(page, counterSource);
  await expect(status(page)).toContainText('assembliert');
  await page.keyboard.press('F9');
  await expect(status(page)).toContainText('Läuft');
  await page.waitForTimeout(400);
  const ms = await timeStop(page);
  expect(ms, 'time from F2 to the stop').toBeLessThan(100);
  await expect(page.getByRole('button', { name: 'Einzelschritt' })).toBeEnabled();
});

test('the code view follows the counter back into view as the desktop does', async ({ page }) => {
  await openPage(page);
  const items = codeList(page).getByRole('listitem');
  await expect(items.first()).toHaveText(/^\$007ffffe:/);
  await page.getByRole('textbox', { name: 'Gehe zu Adresse' }).fill('array+$100');
  await page.keyboard.press('Enter');
  await expect(items.first()).toHaveText(/^\$00800120:/);
  // A counter above the view puts the view two words above it.
  await page.keyboard.press('F8');
  await expect(items.first()).toHaveText(/^\$00800000:/);
  await expect(codeList(page).locator('li[aria-current="true"]')).toHaveText(/^\$00800002:/);
});

test('on a 390-pixel-wide phone screen the views stack without sideways scrolling', async ({ page }) => {
  await page.setViewportSize({ width: 390, height: 844 });
  await openPage(page);
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  expect(await page.evaluate(() => document.documentElement.scrollWidth)).toBeLessThanOrEqual(390);
  const boxes = [];
  for (const locator of [page.getByRole('textbox', { name: 'Quelltext', exact: true }), page.getByRole('list', { name: 'Code' }),
    page.getByRole('region', { name: 'Register' }), page.getByRole('region', { name: 'Speicher' })]) {
    const box = await locator.boundingBox();
    expect(box.width).toBeGreaterThan(200);
    boxes.push(box);
  }
  // One below the other.
  for (let i = 1; i < boxes.length; ++i) expect(boxes[i].y).toBeGreaterThan(boxes[i - 1].y);
  await page.keyboard.press('F8');
  await expect(register(page, 'PC')).toHaveValue('$00800002');
});

test('Starten at the fastest setting shows more than 10,000 steps a second, and 2 a second at the slowest', async ({ page }) => {
  await openPage(page);
  await typeSource(page, counterSource);
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  const inspector = page.getByRole('region', { name: 'Speicher' });
  await inspector.getByRole('textbox', { name: 'Adresse' }).fill('cell');
  await inspector.getByRole('textbox', { name: 'Adresse' }).press('Enter');
  const steps = async () => Number((await status(page).textContent()).match(/nach ([\d.]+) Schritt/)[1].replace(/\./g, ''));

  await page.keyboard.press('F9');
  await expect(page.getByRole('button', { name: 'Anhalten' })).toBeEnabled();
  await page.waitForTimeout(1000);
  await page.keyboard.press('F2');
  await expect(status(page)).toContainText('Angehalten');
  expect(await steps()).toBeGreaterThan(10_000);

  await page.getByRole('slider', { name: 'Geschwindigkeit' }).focus();
  await page.keyboard.press('Home');
  await page.getByRole('button', { name: 'Starten' }).click();
  await page.waitForTimeout(1600);
  await page.keyboard.press('F2');
  await expect(status(page)).toContainText('Angehalten');
  // One step at once, then one every half second.
  expect(await steps()).toBeGreaterThanOrEqual(3);
  expect(await steps()).toBeLessThanOrEqual(5);
});

test('the page is usable within 1.5 seconds, with an example loaded', async ({ page }) => {
  // The best of three loads, so a moment of load on a shared machine does not decide.
  let best = Infinity;
  for (let i = 0; i < 3 && best >= 1500; ++i) {
    await page.goto('about:blank');
    await page.goto('./');
    await expect(page.locator('body')).toHaveClass(/ready/);
    best = Math.min(best, await page.evaluate(() => performance.now()));
  }
  expect(best).toBeLessThan(1500);
  await expect(page.getByRole('textbox', { name: 'Quelltext', exact: true })).toContainText('sum.s');
  await expect(page.getByRole('button', { name: 'Starten' })).toBeEnabled();
});

test('the code view works from the keyboard alone', async ({ page }) => {
  await openPage(page);
  await page.getByRole('list', { name: 'Code' }).focus();
  // The keyboard line starts on the counter's line; two lines down is $00800003.
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Space');
  await expect(codeLine(page, '$00800003')).toHaveClass(/\bbp\b/);
  await page.keyboard.press('Alt+Shift+S');
  await expect(status(page)).toContainText('Haltepunkt bei $00800003');
  await page.keyboard.press('Alt+Shift+E');
  await expect(register(page, 'PC')).toHaveValue('$00800004');
});

test('the edit form makes a value watch on a memory word named by a label', async ({ page }) => {
  await openPage(page);
  await page.getByRole('combobox', { name: 'Beispiele' }).selectOption('sort.s');
  await expect(status(page)).toContainText('sort.s assembliert');
  await page.keyboard.press('F6');
  await page.getByRole('button', { name: 'Neu…' }).click();
  const dialog = page.getByRole('dialog', { name: 'Haltepunkt bearbeiten' });
  await dialog.getByRole('checkbox', { name: 'an bestimmte Instruktion knüpfen' }).uncheck();
  await expect(dialog.getByRole('button', { name: 'OK' })).toBeDisabled();
  await dialog.getByRole('radio', { name: 'Speicherstelle überwachen:' }).check();
  await dialog.getByRole('textbox', { name: 'Speicherstelle' }).fill('values');
  await dialog.getByRole('radio', { name: 'bei bestimmten Wert anhalten' }).check();
  await dialog.getByRole('textbox', { name: 'Wert' }).fill('-4');
  await dialog.getByRole('button', { name: 'OK' }).click();
  const row = page.getByRole('row').filter({ hasText: 'Wenn Speicher' });
  await expect(row).toHaveText(/^\s*--\s*--\s*Wenn Speicher \$00800040 den Wert \$fffffffc hat$/);

  await page.keyboard.press('Shift+F9');
  await expect(status(page)).toContainText('Angehalten: Haltepunkt');
  await page.getByRole('button', { name: 'Speicher anzeigen' }).click();
  const inspector = page.getByRole('region', { name: 'Speicher' });
  await inspector.getByRole('textbox', { name: 'Adresse' }).fill('values');
  await inspector.getByRole('textbox', { name: 'Adresse' }).press('Enter');
  await expect(inspector.getByRole('gridcell', { name: '$00800040', exact: true })).toHaveText('fffffffc');
  await expect(inspector.getByRole('gridcell', { name: '$00800040', exact: true })).toHaveClass(/watched/);
});
