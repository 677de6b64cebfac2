// The WebAssembly module under node: the native program's tables with every
// option (the page's tests cover the default). Needs scripts/build release and web.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const { native, pictures, photo, loaded } = require('./support.js');

// The module's options, and the program's arguments for the same table.
const optionSets = [
  [{ form: 'auto', colors: 9, dither: true, matte: 0x3a7d5c },
    ['--auto-layout', '--colors', '9', '--dither', '--matte', '3A7D5C']],
  [{ scale: 3, magnification: 2 }, ['--scale', '3', '-m', '2']],
  [{ maxSize: 6000 }, ['--max-size', '6000']],
];
async function table(file, options) {
  const rows = [];
  const pixtable = await loaded;
  pixtable.convert(fs.readFileSync(file), options, null, (row) => rows.push(Buffer.from(row)));
  return Buffer.concat(rows).toString('latin1');
}

test('every kind of picture: the program\'s table, byte for byte, with each option', async () => {
  for (const file of pictures) {
    for (const [options, args] of optionSets) {
      assert.ok(await table(file, options) === native(args, file), `${file} ${args}`);
    }
  }
  // libimagequant's SSE code, compiled to SIMD, sums in the program's order; its C code
  // changes this palette.
  assert.ok(await table(photo(), { colors: 64, dither: true }) ===
    native(['--colors', '64', '--dither'], photo()));
});
