// What the module and page tests share: the tree, the module, the native
// program, and pictures made by ImageMagick in a temporary folder.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const root = path.resolve(__dirname, '../..');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'pixtable-web-'));
process.on('exit', () => fs.rmSync(folder, { recursive: true, force: true }));

/// The native program's table of `file` with `args`.
const native = (args, file) => execFileSync(`${root}/build/release/pixtable`,
  ['--terminal', ...args, '-o', '-', file], { maxBuffer: 1 << 30, stdio: 'pipe' })
  .toString('latin1');

/// A picture `name` made by ImageMagick's convert from `args`.
function picture(name, ...args) {
  const file = path.join(folder, name);
  if (!fs.existsSync(file)) execFileSync('/usr/bin/convert', [...args, file]);
  return file;
}

const image = (name) => `${root}/tests/data/image/${name}`;
// A picture of every kind, transparency and turned JPEGs among them.
const pictures = [`${root}/examples/sample.bmp`, image('png-palette-with-trns.png'),
  image('gif-frame-on-a-larger-screen.gif'), image('jpeg-turned-left.jpg'),
  image('webp-lossy-with-alpha.webp'), picture('logo.png', 'logo:', '-resize', '50%')];
const photo = () =>
  picture('hd.jpg', '-seed', '7', '-size', '1920x1080', 'plasma:', '-quality', '92');

module.exports = { root, native, picture, image, pictures, photo,
  loaded: require(`${root}/build/web/pixtable.js`)() };
