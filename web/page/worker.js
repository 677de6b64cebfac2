// The page's worker: runs the module, one picture at a time, so that the page
// never waits. Bundled after the module's code, which defines createPixtable.
// The page ends a run by ending the worker: a cancelled run changes nothing.
'use strict';
/* global createPixtable */

const ready = createPixtable();

/// The table of `bytes` as a Blob (handed to the page without a copy) with
/// its figures, or why there is none.
function convert(pixtable, bytes, options) {
  const progress = (caption, done, total) => self.postMessage({ progress: { caption, done, total } });
  try {
    const rows = [];
    const result = pixtable.convert(new Uint8Array(bytes), options, progress, (row) => rows.push(row.slice()));
    if (!result.error) result.table = new Blob(rows, { type: 'text/html' });
    return result;
  } catch (thrown) {
    // The module's only C++ exception is std::bad_alloc, which reaches
    // JavaScript as a number; anything else is a fault of ours. Memory that
    // a failed run left behind is lost with this worker (spent).
    if (typeof thrown === 'number') return { error: 'memory', spent: true };
    return { error: 'internal', reason: String(thrown), spent: true };
  }
}

self.onmessage = async ({ data: { bytes, options, name } }) => {
  let pixtable;
  try {
    pixtable = await ready;
  } catch (failure) {
    // A browser without WebAssembly SIMD, for one: the page must hear of it.
    self.postMessage({ result: { error: 'internal', reason: String(failure), spent: true } });
    return;
  }
  const result = convert(pixtable, bytes, options);
  result.outputName = pixtable.outputName(name);
  self.postMessage({ result });
};
