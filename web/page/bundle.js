// Makes the page one self-contained file: the markup with the style, the
// texts of the catalogues, the page's code and the worker (the module, its
// WebAssembly inside, and the worker's code) inlined.
// Usage: node bundle.js MODULE.js OUT.html
'use strict';
const fs = require('fs');
const path = require('path');

const [modulePath, outPath] = process.argv.slice(2);
const read = (name) => fs.readFileSync(path.join(__dirname, name), 'utf8');

/// msgid → msgstr of a gettext catalogue; untranslated and fuzzy entries are left out.
function readPo(text) {
  const entries = {};
  for (const block of text.split(/\n\s*\n/)) {
    if (/^#,.*\bfuzzy\b/m.test(block)) continue;
    const field = (name) => {
      const m = new RegExp(`^${name} ((?:".*"\\s*)+)`, 'm').exec(block);
      return m && m[1].trim().split(/"\s*\n\s*"/).join('').slice(1, -1)
        .replace(/\\(["\\nt])/g, (_, c) => ({ n: '\n', t: '\t' }[c] || c));
    };
    const id = field('msgid');
    const str = field('msgstr');
    if (id && str) entries[id] = str;
  }
  return entries;
}

// The program's catalogues (po/ at the top, its captions and reasons), then the page's own texts.
const catalogues = {};
for (const folder of [path.join(__dirname, '../../po'), path.join(__dirname, 'po')]) {
  if (!fs.existsSync(folder)) continue;
  for (const name of fs.readdirSync(folder).filter((n) => n.endsWith('.po'))) {
    const language = name.slice(0, -3);
    catalogues[language] = { ...catalogues[language], ...readPo(fs.readFileSync(path.join(folder, name), 'utf8')) };
  }
}
// Inlined scripts must not end their element early.
const inline = (code) => code.replace(/<\/(script)/gi, '<\\/$1');
const parts = {
  '/*STYLE*/': read('style.css'),
  '/*WORKER*/': inline(fs.readFileSync(modulePath, 'utf8') + '\n' + read('worker.js')),
  '/*STRINGS*/': `const CATALOGUES = ${inline(JSON.stringify(catalogues))};`,
  '/*PAGE*/': inline(read('page.js')),
};
let html = read('index.html');
for (const [mark, text] of Object.entries(parts)) html = html.replace(mark, () => text);
fs.writeFileSync(outPath, html);
