// What the module and page tests share: the tree, the native program, and
// pictures made with ImageMagick in a temporary folder.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const root = path.resolve(__dirname, '../..');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'pixtable-web-'));
process.on('exit', () => fs.rmSync(folder, { recursive: true, force: true }));

/// The native program's table of `file` with `args`, as a string of its bytes.
const native = (args, file) => execFileSync(`${root}/build/release/pixtable`,
  ['--terminal', ...args, '-o', '-', file], { maxBuffer: 1 << 30, stdio: ['ignore', 'pipe', 'ignore'] })
  .toString('latin1');

/// A picture `name` made by ImageMagick's convert from `args`.
function picture(name, ...args) {
  const file = path.join(folder, name);
  if (!fs.existsSync(file)) execFileSync('/usr/bin/convert', [...args, file]);
  return file;
}

module.exports = { root, folder, native, picture };
