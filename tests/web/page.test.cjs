// The page (build/web/pixtable.html, opened from disk) in headless Chromium
// and Firefox: the program's tables, drawn pixel for pixel, copied and saved;
// cancels that change nothing; bad files with their reasons, in two languages.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { root, native, picture } = require('./support.cjs');
const puppeteer = require(`${root}/web/node_modules/puppeteer-core`);

const url = `file://${root}/build/web/pixtable.html`;
const image = (name) => `${root}/tests/data/image/${name}`;
const pictures = [`${root}/examples/sample.bmp`, image('png-palette-with-trns.png'),
  image('gif-frame-on-a-larger-screen.gif'), image('jpeg-turned-left.jpg'),
  image('webp-lossy-with-alpha.webp'), picture('logo.png', 'logo:', '-resize', '50%')];
const photo = () => picture('hd.jpg', '-seed', '7', '-size', '1920x1080', 'plasma:', '-quality', '92');
const launchers = {
  chromium: () => puppeteer.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox',
    '--disable-gpu', '--disable-background-networking', '--disable-component-update', '--no-first-run'] }),
  firefox: () => puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr' }),
};

async function openPage(browser, languages) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument((list) => Object.defineProperty(navigator, 'languages', { get: () => list }),
    languages);
  page.on('pageerror', (error) => assert.fail(`page error: ${error.message}`));
  await page.goto(url);
  return page;
}

/// Opens `file` on the page, or sets the page's controls to `controls`, and
/// waits for the table or the message that ends the run.
async function run(page, { file, controls }) {
  await page.$eval('#figures', (e) => { e.textContent = ''; });
  await page.$eval('#message', (e) => { e.textContent = ''; });
  if (file) await (await page.$('#file')).uploadFile(file);
  if (controls) {
    await page.$eval('#options', (form, values) => {
      for (const [name, value] of Object.entries(values)) form[name][typeof value === 'boolean' ? 'checked' : 'value'] = value;
      form.dispatchEvent(new Event('change'));
    }, controls);
  }
  await page.waitForFunction(() => $('figures').textContent || $('message').textContent, { timeout: 60000 });
  return page.evaluate(() => ({ table: shown && shown.table, message: $('message').textContent }));
}

/// The pixels of the table's screenshot that differ from the colours its text gives them
/// (transparent cells show the page's colour).
async function wrongPixels(page, table) {
  const element = await page.$('#preview table');
  const shot = await element.screenshot({ encoding: 'base64' });
  return page.evaluate(async (png, text) => {
    const bitmap = await createImageBitmap(await (await fetch(`data:image/png;base64,${png}`)).blob());
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    canvas.getContext('2d').drawImage(bitmap, 0, 0);
    const shown = canvas.getContext('2d').getImageData(0, 0, bitmap.width, bitmap.height).data;
    const pageColour = getComputedStyle(document.body).backgroundColor.match(/\d+/g).map(Number);
    const background = /^<table[^>]*bgcolor=#(\w{6})/.exec(text);
    const taken = new Set();
    let wrong = 0;
    text.split('<tr>').slice(1).forEach((row, y) => {
      let x = 0;
      for (const [, attributes] of row.matchAll(/<td([^>]*)>/g)) {
        while (taken.has(`${x},${y}`)) x++;
        const [w, h] = ['colspan', 'rowspan'].map((a) => Number((new RegExp(`${a}=(\\d+)`).exec(attributes) || [0, 1])[1]));
        const hex = (/bgcolor=#(\w{6})/.exec(attributes) || background || [])[1];
        const colour = hex ? [0, 2, 4].map((i) => parseInt(hex.slice(i, i + 2), 16)) : pageColour;
        for (let j = y; j < y + h; j++) {
          for (let i = x; i < x + w; i++) {
            taken.add(`${i},${j}`);
            const p = 4 * (j * bitmap.width + i);
            if (colour.some((c, k) => shown[p + k] !== c)) wrong++;
          }
        }
        x += w;
      }
    });
    return wrong + (bitmap.width * bitmap.height - taken.size);
  }, shot, table);
}

for (const [name, launch] of Object.entries(launchers)) {
  test(name, async (t) => {
    const browser = await launch();
    t.after(() => browser.close());
    const page = await openPage(browser, ['en-GB', 'en']);

    await t.test('each kind of picture: the program\'s table, drawn pixel for pixel', async () => {
      for (const file of pictures) {
        const { table } = await run(page, { file });
        assert.strictEqual(table, native(['--pixel-exact'], file), file);
        assert.strictEqual(await wrongPixels(page, table), 0, file);
      }
    });

    await t.test('changed options redraw with the program\'s table for them', async () => {
      const file = pictures[5];
      let { table } = await run(page, { controls: { budget: '102400' } });
      assert.strictEqual(table, native(['--pixel-exact', '--max-size', '100K'], file));
      ({ table } = await run(page, { controls: { budget: '0', noBackground: true, form: 'auto', scale: '2',
        scaleFilter: 'nearest', colors: '16', dither: true, matteOn: true, matte: '#3a7d5c', magnification: '3' } }));
      assert.strictEqual(table, native(['-x', '--scale', '2', '--scale-filter', 'nearest', '--colors', '16',
        '--dither', '--matte', '3A7D5C', '-m', '3'], file));
      await page.$eval('#options', (form) => form.reset());
    });

    await t.test('copy gives the table as HTML and as text; download saves NAME.html', async () => {
      const saved = await page.evaluate(async () => {
        let copied;
        let saved;
        navigator.clipboard.write = async ([item]) => {
          copied = await Promise.all(['text/html', 'text/plain'].map(async (type) => (await item.getType(type)).text()));
        };
        HTMLAnchorElement.prototype.click = function () { saved = [this.download, this.href]; };
        $('copy').click();
        $('download').click();
        await new Promise((resolve) => setTimeout(resolve, 200));
        return [...copied, saved[0], await (await fetch(saved[1])).text(), shown.table];
      });
      assert.deepStrictEqual(saved.slice(0, 4), [saved[4], saved[4], 'logo.html', saved[4]]);
    });

    await t.test('a cancel changes nothing shown; a picture opened during a run replaces it', async () => {
      const before = await run(page, { file: pictures[0] });
      const state = () => page.evaluate(() => [$('preview').innerHTML, $('figures').textContent, $('message').textContent]);
      const shownBefore = await state();
      await (await page.$('#file')).uploadFile(photo());
      await page.waitForFunction(() => !$('run').hidden, { polling: 'mutation' });
      await page.click('#cancel');
      await new Promise((resolve) => setTimeout(resolve, 3000));
      assert.deepStrictEqual(await state(), shownBefore);
      assert.ok(await page.$eval('#run', (e) => e.hidden));

      await (await page.$('#file')).uploadFile(photo());
      await page.waitForFunction(() => !$('run').hidden, { polling: 'mutation' });
      const after = await run(page, { file: pictures[1] });
      await new Promise((resolve) => setTimeout(resolve, 3000));
      assert.strictEqual(await page.$eval('#result-title', (e) => e.textContent), 'png-palette-with-trns.png');
      assert.notStrictEqual(after.table, before.table);
      assert.strictEqual(after.table, native(['--pixel-exact'], pictures[1]));
    });

    await t.test('a bad file shows the program\'s reason, in English or Japanese', async () => {
      assert.strictEqual((await run(page, { file: image('bad-png-cut.png') })).message,
        'Could not load bad-png-cut.png: the file is truncated');
      const japanese = await openPage(browser, ['ja-JP', 'en']);
      assert.strictEqual(await japanese.$eval('#cancel', (e) => e.textContent), 'キャンセル');
      assert.strictEqual((await run(japanese, { file: image('bad-png-cut.png') })).message,
        'ファイルのロードに失敗しました：bad-png-cut.png\nthe file is truncated');
    });
  });
}
