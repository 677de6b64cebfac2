// The page: opens a picture, runs the module in a worker with the chosen
// options, shows the table beside the picture and lets it be copied or saved.
'use strict';
/* global CATALOGUES */

const $ = (id) => document.getElementById(id);
const form = $('options');

// Texts: English, or the catalogue of the first language the browser prefers
// that has one. `%s` marks are filled in order.
const language = (navigator.languages || [navigator.language]).map((l) => l.slice(0, 2))
  .find((l) => l === 'en' || CATALOGUES[l]) || 'en';
const catalogue = CATALOGUES[language] || {};
// The page's own texts take %s in order; the program's ({1}, {2}) by number.
const t = (text, ...values) => {
  const filled = (catalogue[text] || text).replace(/\{(\d)\}/g, (_, i) => values[i - 1]);
  return filled.replace(/%s/g, () => values.shift());
};
const number = (n) => n.toLocaleString(language);

function translatePage() {
  document.documentElement.lang = language;
  for (const element of document.querySelectorAll('[data-t]')) element.textContent = t(element.textContent.trim());
  for (const select of ['magnification', 'scale']) {
    for (let n = 1; n <= 10; n++) form[select].add(new Option(`×${n}`, n));
  }
  form.colors.placeholder = t('all');
}

/// The options as the module reads them; null while one is out of range.
function readOptions() {
  if (!form.checkValidity()) return null;
  const budget = form.budget.value === 'other' ? form.budgetKB.value * 1024 : Number(form.budget.value);
  return {
    magnification: Number(form.magnification.value),
    noBackground: form.noBackground.checked,
    form: form.form.value,
    maxSize: budget,
    colors: Number(form.colors.value),
    dither: form.dither.checked,
    scale: Number(form.scale.value),
    scaleFilter: form.scaleFilter.value,
    matte: form.matteOn.checked ? parseInt(form.matte.value.slice(1), 16) : null,
  };
}

// The worker. A run is ended by ending its worker, so that a cancelled run
// leaves everything shown as it was; a fresh worker is made at once.
const workerUrl = URL.createObjectURL(new Blob([$('worker-source').textContent], { type: 'text/javascript' }));
let worker = null;
let running = false;
let picture = null; // { name, bytes, url }
let shown = null; // What the page shows: { table (a Blob), outputName, ... }

function freshWorker() {
  if (worker) worker.terminate();
  worker = new Worker(workerUrl);
  worker.onmessage = ({ data }) => (data.result ? finish(data.result) : showProgress(data.progress));
  worker.onerror = (event) => {
    event.preventDefault();
    finish({ error: 'internal', reason: event.message, spent: true });
  };
}

/// The program's caption, in the page's language; the bar is indeterminate
/// until a stage has figures.
function showProgress({ caption, done, total }) {
  $('caption').textContent = t(caption, done, total);
  if (total > 0) {
    $('progress').max = total;
    $('progress').value = done;
  } else {
    $('progress').removeAttribute('value');
  }
}

function start() {
  const options = readOptions();
  if (!picture || !options) return;
  if (running) freshWorker();
  running = true;
  performance.mark('pixtable-run'); // Timed by bench/web, to the measure in finish().
  $('message').textContent = '';
  showProgress({ caption: t('Starting…') });
  $('run').hidden = false;
  worker.postMessage({ bytes: picture.bytes, options, name: picture.name });
}

function cancel() {
  if (!running) return;
  running = false;
  freshWorker();
  $('run').hidden = true;
}

function finish(result) {
  performance.measure('pixtable-run', 'pixtable-run');
  running = false;
  $('run').hidden = true;
  if (result.spent) freshWorker();
  if (result.error) {
    $('message').textContent = failureText(result);
    return;
  }
  show(result);
}

function failureText(result) {
  switch (result.error) {
    case 'load': return t('Could not load %s: %s', picture.name, reasonText(result));
    case 'too-small': return t('No table of %s fits in the size budget: the smallest has %s bytes',
      picture.name, number(result.smallest));
    case 'memory': return t('Not enough memory to convert %s', picture.name);
    default: return t('Something went wrong: %s', reasonText(result));
  }
}

/// The program's reason in the page's language, and its detail ("TIFF").
const reasonText = ({ reason, detail }) => t(reason) + (detail ? `: ${detail}` : '');

// Tables longer than this are shown only when asked: a browser takes many
// seconds to lay out the millions of cells of a photo's plain table.
const previewLimit = 8 << 20;

async function show(result) {
  shown = result;
  $('result').hidden = false;
  $('result-title').textContent = picture.name;
  $('picture').src = picture.url;
  $('picture').alt = picture.name;
  $('picture').width = result.width * Number(form.magnification.value);
  const preview = $('preview');
  const name = picture.name;
  // Screen readers announce the table as one picture, not as its thousands of empty cells.
  const insert = async () => {
    preview.innerHTML = await result.table.text();
    preview.setAttribute('role', 'img');
    preview.setAttribute('aria-label', t('Table of %s', name));
  };
  preview.replaceChildren();
  preview.removeAttribute('role');
  preview.removeAttribute('aria-label');
  if (result.bytes <= previewLimit) {
    await insert();
  } else {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = t('Show the table (%s bytes)', number(result.bytes));
    button.onclick = insert;
    preview.append(button);
  }
  $('figures').textContent = [
    t('%s bytes', number(result.bytes)),
    t('%s cells', number(result.cells)),
    t('scale %s', result.scale),
    result.colors ? t('%s colours', result.colors) : t('all colours'),
    psnrText(result),
  ].filter(Boolean).join(' · ');
  $('note').textContent = result.animated ? t('Animated: the first frame is converted.') : '';
  $('output-name').textContent = result.outputName;
  $('copied').textContent = '';
}

/// The PSNR where the library gives one (a size budget), "exact" for a table of every pixel.
function psnrText({ psnr, scale, colors }) {
  if (psnr === Infinity || (scale === 1 && !colors)) return t('exact');
  return psnr > 0 ? t('PSNR %s dB', psnr.toFixed(1)) : '';
}

async function copy() {
  const table = shown.table;
  try {
    await navigator.clipboard.write([new ClipboardItem({
      'text/html': new Blob([table], { type: 'text/html' }),
      'text/plain': new Blob([table], { type: 'text/plain' }),
    })]);
  } catch {
    const text = await table.text();
    // Without the asynchronous clipboard, the copy event carries both forms.
    const put = (event) => {
      event.clipboardData.setData('text/html', text);
      event.clipboardData.setData('text/plain', text);
      event.preventDefault();
    };
    document.addEventListener('copy', put, { once: true });
    document.execCommand('copy');
  }
  $('copied').textContent = t('Copied as HTML and as text.');
}

function download() {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(shown.table);
  link.download = shown.outputName;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

async function open(file) {
  if (!file) return;
  const bytes = await file.arrayBuffer();
  if (picture) URL.revokeObjectURL(picture.url);
  picture = { name: file.name || 'image', bytes, url: URL.createObjectURL(file) };
  start();
}

translatePage();
freshWorker();
$('drop').onclick = () => $('file').click();
$('file').onchange = () => {
  open($('file').files[0]);
  $('file').value = ''; // Choosing the same file again (after a cancel) opens it again.
};
$('cancel').onclick = cancel;
$('copy').onclick = copy;
$('download').onclick = download;
form.onchange = () => {
  $('budget-other').hidden = form.budget.value !== 'other';
  start();
};
form.onsubmit = (event) => event.preventDefault();
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', (event) => {
  event.preventDefault();
  open(event.dataTransfer.files[0]);
});
document.addEventListener('paste', (event) => {
  const file = [...event.clipboardData.files].find((f) => f.type.startsWith('image/'));
  if (file) open(file);
});
