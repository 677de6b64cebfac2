// The page's worker: runs the module, one picture at a time, so that the page
// never waits. Bundled after the module's code, which defines createPixtable.
// The page ends a run by ending the worker: a cancelled run changes nothing.
'use strict';
/* global createPixtable */

const ready = createPixtable();

self.onmessage = async ({ data: { bytes, options, name } }) => {
  const pixtable = await ready;
  const progress = (caption, done, total) => self.postMessage({ progress: { caption, done, total } });
  let result;
  try {
    // The table goes to the page as a Blob, which is handed over without a copy.
    const rows = [];
    result = pixtable.convert(new Uint8Array(bytes), options, progress, (row) => rows.push(row.slice()));
    if (!result.error) result.table = new Blob(rows, { type: 'text/html' });
  } catch (thrown) {
    // The module's only C++ exception is std::bad_alloc, which reaches
    // JavaScript as a number; anything else is a fault of ours.
    result = typeof thrown === 'number' ? { error: 'memory' } : { error: 'internal', reason: String(thrown) };
    // Memory that a failed run left behind is lost with this worker.
    result.spent = true;
  }
  result.outputName = pixtable.outputName(name);
  self.postMessage({ result });
};
