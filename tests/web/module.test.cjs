// The WebAssembly module under node: the same tables as the native program,
// and its failures given as values with the program's reasons.
// Run by scripts/test after `scripts/build release` and `scripts/build web`.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const { spawnSync } = require('node:child_process');
const { root, native, picture } = require('./support.cjs');

const pictures = ['examples/sample.bmp', 'tests/data/image/png-palette-with-trns.png',
  'tests/data/image/gif-frame-on-a-larger-screen.gif', 'tests/data/image/jpeg-turned-left.jpg',
  'tests/data/image/jpeg-cmyk.jpg', 'tests/data/image/webp-lossy-with-alpha.webp',
  picture('logo.png', 'logo:', '-resize', '50%'), picture('photo.jpg', '-seed', '5', '-size', '200x150', 'plasma:')];
// The page's options and the program's arguments that ask for the same table.
const optionSets = [
  [{ form: 'auto' }, []],
  [{ magnification: 3, noBackground: true }, ['--pixel-exact', '-m', '3', '-x']],
  [{ form: 'auto', colors: 9, dither: true, matte: 0x3a7d5c }, ['--colors', '9', '--dither', '--matte', '3A7D5C']],
  [{ scale: 3, scaleFilter: 'nearest' }, ['--pixel-exact', '--scale', '3', '--scale-filter', 'nearest']],
  [{ maxSize: 6000 }, ['--pixel-exact', '--max-size', '6000']],
];

const loaded = require(`${root}/build/web/pixtable.js`)();

test('every kind of picture gives the program\'s table, byte for byte, with each set of options', async () => {
  const pixtable = await loaded;
  for (const file of pictures) {
    for (const [options, args] of optionSets) {
      const made = pixtable.convert(fs.readFileSync(file), options, undefined);
      const expected = native(args, file);
      assert.strictEqual(made.table, expected, `${file} ${args}`);
      assert.strictEqual(made.bytes, expected.length);
    }
  }
});

test('a photo reduced in colours gets the program\'s palette', async () => {
  // libimagequant sums colour distances in the order of its SSE code, compiled
  // to WebAssembly SIMD; its plain C order changes this palette.
  const photo = picture('hd.jpg', '-seed', '7', '-size', '1920x1080', 'plasma:', '-quality', '92');
  const made = (await loaded).convert(fs.readFileSync(photo), { form: 'auto', colors: 64, dither: true }, undefined);
  assert.ok(made.table === native(['--colors', '64', '--dither'], photo));
});

test('progress comes as the program\'s captions, with the figures behind them', async () => {
  const pixtable = await loaded;
  const seen = [];
  pixtable.convert(fs.readFileSync(pictures[6]), {}, (caption, done, total) => seen.push([caption, done, total]));
  assert.deepStrictEqual(seen[0], ['準備中・・・', 0, 0]);
  const analysing = seen.find(([caption]) => caption.startsWith('解析中'));
  assert.strictEqual(analysing[0], `解析中・・・(${analysing[1]}/${analysing[2]})`);
  assert.ok(seen.some(([caption]) => caption.startsWith('出力中...(')));
});

test('failures come back as values with the reason in words', async () => {
  const pixtable = await loaded;
  const convert = (bytes, options) => pixtable.convert(bytes, options, undefined);
  const png = fs.readFileSync(pictures[1]);
  assert.deepStrictEqual(convert(png.subarray(0, 60), {}), { error: 'load', reason: 'the file is truncated' });
  assert.deepStrictEqual(convert(Buffer.from('II*\0 a TIFF'), {}),
    { error: 'load', reason: 'unsupported kind of picture: TIFF' });
  const tooSmall = convert(fs.readFileSync(pictures[7]), { maxSize: 500 });
  assert.strictEqual(tooSmall.error, 'too-small');
  assert.ok(tooSmall.smallest > 500, tooSmall.smallest);
  assert.strictEqual(convert(png, { colors: 300 }).error, 'table');
  assert.strictEqual(pixtable.outputName('holiday.photo.jpeg'), 'holiday.photo.html');
});

test('the figures are those of the table made, and the program\'s choice', async () => {
  const pixtable = await loaded;
  const made = pixtable.convert(fs.readFileSync(pictures[7]), { maxSize: 20000 }, undefined);
  assert.strictEqual(made.cells, made.table.match(/<td/g).length);
  const note = spawnSync(`${root}/build/release/pixtable`,
    ['--terminal', '--pixel-exact', '--max-size', '20000', '-o', '-', pictures[7]]).stderr.toString();
  assert.match(note, new RegExp(`scale ${made.scale}, .* PSNR ${made.psnr.toFixed(1)} dB`));
});
