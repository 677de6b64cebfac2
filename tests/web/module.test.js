// The WebAssembly module under node: the native program's tables, and its
// failures and figures as values. Needs scripts/build release and web.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const { spawnSync } = require('node:child_process');
const { root, native, picture, pictures, photo, loaded } = require('./support.js');

const plasma = picture('plasma.jpg', '-seed', '5', '-size', '200x150', 'plasma:');
// The module's options, and the program's arguments for the same table.
const optionSets = [
  [{}, []],
  [{ form: 'auto', magnification: 3, noBackground: true }, ['--auto-layout', '-m', '3', '-x']],
  [{ form: 'auto', colors: 9, dither: true, matte: 0x3a7d5c },
    ['--auto-layout', '--colors', '9', '--dither', '--matte', '3A7D5C']],
  [{ scale: 3, scaleFilter: 'nearest' }, ['--scale', '3', '--scale-filter', 'nearest']],
  [{ maxSize: 6000 }, ['--max-size', '6000']],
];
async function convert(file, options, progress) {
  const rows = [];
  const made = (await loaded).convert(fs.readFileSync(file), options, progress,
    (row) => rows.push(Buffer.from(row)));
  return { ...made, table: Buffer.concat(rows).toString('latin1') };
}

test('every kind of picture: the program\'s table, byte for byte, with each option', async () => {
  for (const file of [...pictures, plasma]) {
    for (const [options, args] of optionSets) {
      assert.ok((await convert(file, options)).table === native(args, file), `${file} ${args}`);
    }
  }
  // libimagequant's SSE code, compiled to SIMD, sums in the program's order; its C code
  // changes this palette.
  const made = await convert(photo(), { colors: 64, dither: true });
  assert.ok(made.table === native(['--colors', '64', '--dither'], photo()));
});

test('a budget too small, the figures and the captions are the program\'s', async () => {
  const tooSmall = await convert(plasma, { maxSize: 500 });
  assert.ok(tooSmall.error === 'too-small' && tooSmall.smallest > 500);
  const captions = [];
  const made = await convert(plasma, { maxSize: 20000 }, (...figures) => captions.push(figures));
  const note = spawnSync(`${root}/build/release/pixtable`,
    ['--terminal', '--max-size', '20000', '-o', '-', plasma]).stderr.toString();
  assert.match(note, new RegExp(`scale ${made.scale}, .* PSNR ${made.psnr.toFixed(1)} dB`));
  const rows = made.table.split('<tr>').length - 1;
  assert.deepStrictEqual([captions[0][0], captions.at(-1)], ['Preparing...', ['Writing... ({1}/{2})', 1, rows]]);
});
