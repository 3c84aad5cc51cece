// The program's worker. The page starts one for each run and posts it the
// files; the program performs the click that started it and posts its
// captions, its outputs' bytes and any run-time error back to the page.
"use strict";
self.onmessage = function (event) {
  var job = event.data;
  var errorShown = false;
  var page = {
    folder: job.folder,
    inputs: job.inputs,
    refused: job.refused,
    post: function (message, transfer) {
      if (message.type === "error") errorShown = true;
      self.postMessage(message, transfer || []);
    },
  };
  // The program's memory at its end, for the benchmark: it can only grow.
  var program = null;
  function ended(status, failure) {
    var memory = program ? program.HEAPU8.length : 0;
    self.postMessage({ type: "ended", status: status, failure: failure, memory: memory });
  }
  FixInputFilesModule({ page: page }).then(
    function (instance) {
      program = instance;
      try {
        ended(program.callMain([]));
      } catch (failure) {
        // The program stops itself at once after its error's message; any
        // other stop is a crash it could not report.
        if (errorShown) ended(1);
        else ended(-1, String(failure));
      }
    },
    function (failure) {
      ended(-1, String(failure));
    },
  );
};
