// The page, opened from disk in headless Chromium and Firefox: the program's
// tables drawn pixel for pixel, copied and saved; cancels that change nothing;
// bad files with their reasons in two languages.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const { root, native, image, pictures, photo, loaded } = require('./support.js');
const puppeteer = require(`${root}/web/node_modules/puppeteer-core`);

const launchers = {
  chromium: () => puppeteer.launch({ executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-component-update'] }),
  firefox: () => puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr' }),
};

async function openPage(browser, languages) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument((list) => {
    Object.defineProperty(navigator, 'languages', { get: () => list });
  }, languages);
  await page.goto(`file://${root}/build/web/pixtable.html`);
  return page;
}

/// Sets the form's `controls` (the rest as at first), or opens `file` with the first ones, and
/// waits for the table or the message.
async function run(page, { file, controls = {} }) {
  await page.$eval('#options', (form, values) => {
    $('figures').textContent = $('message').textContent = '';
    form.reset();
    for (const [name, value] of Object.entries(values)) {
      form[name][value === true ? 'checked' : 'value'] = value;
    }
    if (Object.keys(values).length) form.dispatchEvent(new Event('change'));
  }, controls);
  if (file) await (await page.$('#file')).uploadFile(file);
  await page.waitForFunction(() => $('figures').textContent || $('message').textContent,
    { timeout: 60000 });
  return page.evaluate(async () => ({ table: shown && await shown.table.text(),
    message: $('message').textContent }));
}

/// The preview's pixels that differ from the picture's (transparent ones show the page, #FAFAFA).
async function wrongPixels(page, file) {
  const pixtable = await loaded;
  const shot = pixtable.pixels(await (await page.$('#preview table')).screenshot());
  const picture = pixtable.pixels(fs.readFileSync(file));
  assert.deepStrictEqual([shot.width, shot.height], [picture.width, picture.height]);
  let wrong = 0;
  for (let i = 0; i < picture.rgba.length; i += 4) {
    const expected = picture.rgba[i + 3] < 128 ? [250, 250, 250] : picture.rgba.subarray(i, i + 3);
    wrong += expected.some((c, k) => shot.rgba[i + k] !== c);
  }
  return wrong;
}

for (const [name, launch] of Object.entries(launchers)) {
  test(name, async (t) => {
    const browser = await launch();
    t.after(() => browser.close());
    const page = await openPage(browser, ['en-GB', 'en']);

    await t.test('each kind of picture: the program\'s table, 0 wrong pixels', async () => {
      for (const file of pictures) {
        assert.ok((await run(page, { file })).table === native([], file), file);
        assert.strictEqual(await wrongPixels(page, file), 0, file);
      }
    });

    await t.test('changed options redraw with the program\'s table for them', async () => {
      for (const [controls, args] of [
        [{ noBackground: true, form: 'auto', scale: '2', scaleFilter: 'nearest', colors: '16',
          dither: true, matteOn: true, matte: '#3a7d5c', magnification: '3' },
        ['--auto-layout', '-x', '--scale', '2', '--scale-filter', 'nearest', '--colors', '16',
          '--dither', '--matte', '3A7D5C', '-m', '3']],
        [{ magnification: '3', width: '600' }, ['-m', '3', '--width', '600']],
      ]) {
        assert.ok((await run(page, { controls })).table === native(args, pictures.at(-1)), args);
      }
      // The first options again: the photos opened next run long enough to be cancelled.
      await page.$eval('#options', (form) => form.reset());
    });

    await t.test('copy gives the table as HTML and text; download saves logo.html', async () => {
      const [given, table] = await page.evaluate(async () => {
        const copied = [];
        navigator.clipboard.write = async ([item]) => {
          for (const type of ['text/html', 'text/plain']) {
            copied.push(await (await item.getType(type)).text());
          }
        };
        HTMLAnchorElement.prototype.click = async function () {
          copied.push(this.download, await (await fetch(this.href)).text());
        };
        $('copy').click();
        $('download').click();
        await new Promise((resolve) => setTimeout(resolve, 300));
        return [copied.sort(), await shown.table.text()];
      });
      assert.deepStrictEqual(given, [table, table, table, 'logo.html'].sort());
    });

    await t.test('a cancel changes nothing; a picture opened meanwhile replaces it', async () => {
      // What the page shows, and how many runs have ended (page.js measures each).
      const shown = () => page.evaluate(() => [$('result').innerHTML, $('message').textContent,
        performance.getEntriesByType('measure').length]);
      const openPhoto = async () => {
        await (await page.$('#file')).uploadFile(photo());
        await page.waitForFunction(() => !$('run').hidden, { polling: 'mutation' });
      };
      // Longer than the photo's run.
      const photoDone = () => new Promise((resolve) => setTimeout(resolve, 3000));
      const before = await shown();
      await openPhoto();
      await page.click('#cancel');
      await photoDone();
      assert.deepStrictEqual(await shown(), before);
      await openPhoto();
      assert.ok((await run(page, { file: pictures[1] })).table === native([], pictures[1]));
      await photoDone();
      const [result, , ended] = await shown();
      assert.ok(result.includes('png-palette-with-trns') && ended === before[2] + 1);
    });

    await t.test('a bad file shows the program\'s reason, in English or Japanese', async () => {
      const cut = image('bad-png-cut.png');
      assert.strictEqual((await run(page, { file: cut })).message,
        'Could not load bad-png-cut.png: the file is truncated');
      const japanese = await openPage(browser, ['ja-JP', 'en']);
      assert.strictEqual((await run(japanese, { file: cut })).message,
        'ファイルのロードに失敗しました：bad-png-cut.png\n' +
        'ファイルが途中で切れています');
    });
  });
}
