// The program's worker. The page starts one for each run and posts it the
// files; the program performs the click that started it and posts its
// captions, its outputs' bytes and any run-time error back to the page.
"use strict";
self.onmessage = function (event) {
  var job = event.data;
  var page = {
    folder: job.folder,
    inputs: job.inputs,
    post: function (message, transfer) {
      self.postMessage(message, transfer || []);
    },
  };
  FixInputFilesModule({ page: page }).then(
    function (program) {
      var status;
      try {
        status = program.callMain([]);
      } catch (failure) {
        // What the program could not report itself: a crash of its WebAssembly.
        page.post({ type: "ended", status: -1, failure: String(failure) });
        return;
      }
      page.post({ type: "ended", status: status });
    },
    function (failure) {
      page.post({ type: "ended", status: -1, failure: String(failure) });
    },
  );
};
