// The program's worker: one start of the program, for one run. The page
// starts it ahead of the click, so the program is loaded when the click comes,
// then posts it the files; the program performs that click and posts its
// captions, its outputs' bytes and any run-time error back to the page.
"use strict";
var errorShown = false;
// Captions not yet posted. A run sets one every 1000 lines, far more often
// than the page can paint, and a message for each would cost the run more
// than its cleaning. A caption goes at once when none went in the last frame;
// the rest wait, in order, for the next message or the next caption a frame
// later. (The worker is busy running: nothing else can send them.)
var captions = [];
var captionsPosted = -Infinity;
var FRAME_MS = 16;

function postCaptions() {
  if (captions.length === 0) return;
  self.postMessage({ type: "captions", texts: captions });
  captions = [];
  captionsPosted = performance.now();
}

// What the program knows of the page; the files arrive with the click.
var page = {
  folder: "",
  inputs: {},
  refused: undefined,
  caption: function (text) {
    captions.push(text);
    if (performance.now() - captionsPosted >= FRAME_MS) postCaptions();
  },
  post: function (message, transfer) {
    if (message.type === "error") errorShown = true;
    postCaptions();
    self.postMessage(message, transfer || []);
  },
};
var loading = FixInputFilesModule({ page: page });

// `memory`: the program's memory at its end, for the benchmark (it only grows).
function ended(status, failure, program) {
  postCaptions();
  var memory = program ? program.HEAPU8.length : 0;
  self.postMessage({ type: "ended", status: status, failure: failure, memory: memory });
}

// The inputs this worker cannot read itself. WebKit's worker cannot read a
// File chosen in a page opened from file:// (NotReadableError), though the
// page can: a read of one byte finds out before the run, with no cost to
// speak of where the worker can read.
function unreadable(inputs) {
  return Object.keys(inputs).filter(function (name) {
    if (!(inputs[name] instanceof Blob)) return false;
    try {
      new FileReaderSync().readAsArrayBuffer(inputs[name].slice(0, 1));
      return false;
    } catch (e) {
      return true;
    }
  });
}

// The page's job: the files arrive with the click. For the inputs the worker
// cannot read, the page then sends their bytes (or why it could not read them).
self.onmessage = function (event) {
  page.folder = event.data.folder;
  page.inputs = event.data.inputs;
  page.refused = event.data.refused;
  var names = unreadable(page.inputs);
  if (names.length === 0) return start();
  self.onmessage = function (event) {
    Object.assign(page.inputs, event.data.inputs);
    start();
  };
  self.postMessage({ type: "unreadable", names: names });
};

function start() {
  self.onmessage = null;
  loading.then(
    function (program) {
      try {
        ended(program.callMain([]), undefined, program);
      } catch (failure) {
        // The program stops itself at once after its error's message; any
        // other stop is a crash it could not report.
        if (errorShown) ended(1, undefined, program);
        else ended(-1, String(failure), program);
      }
    },
    function (failure) {
      ended(-1, String(failure));
    },
  );
}
