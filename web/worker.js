// The program's worker: one start of the program, for one run. The page
// starts it ahead of the click, so the program is loaded when the click comes,
// then posts it the files; the program performs that click and posts its
// captions, its outputs' bytes, any run-time error and its success back to the
// page. Before that, a loaded program also words a failure of the browser for
// the page, in the program's own terms.
//
// The outputs' bytes go to the page to be written there, not written here:
// the program runs to its end without returning to this worker's event loop,
// and a browser's writes to a chosen file (createWritable's stream) are
// promises that need that loop, so here they would all wait for the run's end
// and cleaning and writing would take turns. The page's loop is free while
// this worker cleans, and writes each chunk as it arrives. (The one write that
// needs no loop, createSyncAccessHandle, is for the origin-private file
// system only, not for a folder the user chose.)
"use strict";

// Captions not yet posted. A run sets one every 1000 lines, far more often
// than the page can paint, and a message for each would cost the run more
// than its cleaning. A caption goes at once when none went in the last frame;
// the rest wait, in order, for the next message or the next caption a frame
// later. (The worker is busy running: nothing else can send them.)
const FRAME_MS = 16;
let captions = [];
let captionsPosted = -Infinity;
let errorShown = false;

function postCaptions() {
  if (captions.length === 0) return;
  self.postMessage({ type: "captions", texts: captions });
  captions = [];
  captionsPosted = performance.now();
}

// What the program knows of the page; the files arrive with the click.
const page = {
  inputs: {},
  caption(text) {
    captions.push(text);
    if (performance.now() - captionsPosted >= FRAME_MS) postCaptions();
  },
  post(message, transfer = []) {
    if (message.type === "error") errorShown = true;
    postCaptions();
    self.postMessage(message, transfer);
  },
};
// The program, compiled once by the page, comes in the first message.
let programArrived;
const program = new Promise((resolve) => {
  programArrived = resolve;
});

// The module's own promise never settles when the program cannot be made
// ready; this one then fails in its place.
let notLoaded;
const loadFailure = new Promise((_, reject) => {
  notLoaded = reject;
});
const loading = Promise.race([loadFailure, FixInputFilesModule({
  page,
  instantiateWasm(imports, receive) {
    program
      .then((module) => WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module)))
      .catch(notLoaded);
    return {};
  },
})]);

// `memory`: the program's memory at its end, for the benchmark (it only grows).
function ended(status, failure, program) {
  postCaptions();
  self.postMessage({ type: "ended", status, failure, memory: program ? program.HEAPU8.length : 0 });
}

// The inputs this worker cannot read itself. WebKit's worker cannot read a
// File chosen in a page opened from file:// (NotReadableError), though the
// page can: a read of one byte finds out before the run, with no cost to
// speak of where the worker can read.
function unreadable(inputs) {
  return Object.keys(inputs).filter((name) => {
    if (!(inputs[name] instanceof Blob)) return false;
    try {
      new FileReaderSync().readAsArrayBuffer(inputs[name].slice(0, 1));
      return false;
    } catch (e) {
      return true;
    }
  });
}

// `folder`: the name the program's paths give the files' folder.
async function run(folder) {
  let program;
  try {
    program = await loading;
    ended(program.callMain([folder]), undefined, program);
  } catch (failure) {
    // The program stops itself at once after its error's message; any other
    // stop is a crash it could not report.
    if (errorShown) ended(1, undefined, program);
    else ended(-1, String(failure), program);
  }
}

// The job whose inputs wait for bytes the page reads for this worker.
let waiting = null;

self.onmessage = async ({ data }) => {
  if (data.program) {
    programArrived(data.program);
    return;
  }
  if (data.word) {
    const { path, error, reason } = data.word;
    const program = await loading;
    const message = program.ccall("PageFileFailureMessage", "string", ["string", "string", "string"],
      [path, error, reason]);
    self.postMessage({ type: "worded", message });
    return;
  }
  if (waiting) {
    Object.assign(page.inputs, data.inputs);
    return run(waiting.folder);
  }
  page.inputs = data.inputs;
  const names = unreadable(page.inputs);
  if (names.length === 0) return run(data.folder);
  waiting = data;
  self.postMessage({ type: "unreadable", names });
};
