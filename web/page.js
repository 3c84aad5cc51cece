// The page's side of a run: the button, the ways to the files, and saving the
// outputs. The cleaning itself runs in a worker, from the program compiled to
// WebAssembly; nothing here knows its rules.
"use strict";
(function () {
  var IN = "in.txt";
  var SYMBOLS = "Symbols.txt";

  var TEXTS = {
    folderInstructions:
      "The file you want to clean up should be called in.txt.  Put it in a folder with a file " +
      "called Symbols.txt with all of your phonetic symbols, one per line.  Then click this " +
      "button and choose that folder.",
    filesInstructions:
      "The file you want to clean up should be called in.txt.  You also need a file called " +
      "Symbols.txt with all of your phonetic symbols, one per line.  Then click this button and " +
      "choose both files at once.",
    folderDone:
      "Done.  Fixed file is in the folder you chose, called FixedLines.txt.  List of lines " +
      "repaired is also in that folder, with the file name BadLines.txt.  Click again to start over.",
    filesDone:
      "Done.  Fixed file is ready below, called FixedLines.txt.  List of lines repaired is also " +
      "below, with the file name BadLines.txt.  Click each to save it.  Click again to start over.",
    failed: "The run stopped with the error shown below.  Nothing was saved.  Click again to start over.",
    crashed: "The program stopped unexpectedly.  Nothing was saved.  Click again to start over.",
    // The program itself failed (or the browser under it), not a check on the files.
    crashExplained: function (saved, browsers) {
      return "The program stopped unexpectedly: this is a fault in the program or in this browser, not in your " +
        "files.  " + saved + "  The page is known to work in " + browsers + ".  If this browser is one of them, " +
        "please report the details below.";
    },
    unsupported: function (missing, browsers) {
      return "This browser cannot run the program: it lacks " + missing + ".  Open this page in " + browsers + ".";
    },
    // Said once to assistive technology at the start of a run, instead of every caption.
    running: "Cleaning in.txt.",
    runEnded: "The run has ended.",
    // The browser put the first output in place, then refused the second.
    failedAfterReplacing: function (names) {
      return "The run stopped with the error shown below, after " + names.join(" and ") +
        " in the folder was replaced.  Nothing else was saved.  Click again to start over.";
    },
  };

  // What the program needs of the browser, checked before the first click,
  // each with the first versions of the four browsers that have it (from the
  // browsers' compatibility tables). The WebAssembly features are those the
  // build uses (the page test compares them with the module's, through
  // wasm-validate): an entry goes when the build stops using its feature.
  var NEEDS = [
    {
      // Compiled under the page's policy ('wasm-unsafe-eval'): Chrome before 97
      // and Safari before 16 refuse it; Firefox before 102 does not apply the
      // policy to WebAssembly.
      words: "WebAssembly",
      present: function () {
        return compiles([0, 0x61, 0x73, 0x6d, 1, 0, 0, 0]);
      },
      versions: { Chrome: "97", Edge: "97", Firefox: "52", Safari: "16" },
    },
    {
      // The page's own script: async functions, workers from blob: URLs that
      // read the chosen files with FileReaderSync. Edge 79 is Edge on Chromium.
      words: "web workers",
      present: function () {
        return "Worker" in window && "Blob" in window && typeof URL.createObjectURL === "function";
      },
      versions: { Chrome: "55", Edge: "79", Firefox: "52", Safari: "11" },
    },
    {
      // -msimd128: (func (result v128) i32.const 0 i8x16.splat i8x16.popcnt),
      // an instruction of the final opcode numbering.
      words: "WebAssembly's vector instructions (SIMD)",
      module: [0, 0x61, 0x73, 0x6d, 1, 0, 0, 0, 1, 5, 1, 0x60, 0, 1, 0x7b, 3, 2, 1, 0, 10, 10, 1, 8, 0, 0x41, 0, 0xfd,
        0x0f, 0xfd, 0x62, 0x0b],
      versions: { Chrome: "91", Edge: "91", Firefox: "89", Safari: "16.4" },
    },
  ];

  function compiles(bytes) {
    try {
      new WebAssembly.Module(new Uint8Array(bytes));
      return true;
    } catch (e) {
      return false;
    }
  }

  function present(need) {
    if (need.present) return need.present();
    return typeof WebAssembly === "object" && WebAssembly.validate(new Uint8Array(need.module));
  }

  function later(a, b) {
    var x = a.split(".").map(Number);
    var y = b.split(".").map(Number);
    for (var i = 0; i < Math.max(x.length, y.length); i++) {
      if ((x[i] || 0) !== (y[i] || 0)) return (x[i] || 0) > (y[i] || 0) ? a : b;
    }
    return a;
  }

  // The oldest versions that have every need, in words. On an iPhone or iPad
  // every browser is Safari's engine, of the system's version.
  function workingBrowsers() {
    var oldest = {};
    NEEDS.forEach(function (need) {
      Object.keys(need.versions).forEach(function (browser) {
        oldest[browser] = oldest[browser] ? later(oldest[browser], need.versions[browser]) : need.versions[browser];
      });
    });
    return "Chrome " + oldest.Chrome + ", Edge " + oldest.Edge + ", Firefox " + oldest.Firefox + " or Safari " +
      oldest.Safari + " (or a later version; on an iPhone or iPad, iOS " + oldest.Safari + " or later)";
  }

  // The needs this browser lacks, in words, or "" when it has them all.
  function missingNeeds() {
    var missing = NEEDS.filter(function (need) {
      return !present(need);
    }).map(function (need) {
      return need.words;
    });
    if (missing.length < 2) return missing.join("");
    return missing.slice(0, -1).join(", ") + " and " + missing[missing.length - 1];
  }

  var button = document.getElementById("Command1");
  var runError = document.getElementById("RunError");
  var runStatus = document.getElementById("RunStatus");
  var downloads = document.getElementById("Downloads");
  var picker = document.getElementById("FilePicker");
  var workerUrl = URL.createObjectURL(
    new Blob([document.getElementById("WorkerSource").textContent], { type: "text/javascript" }),
  );

  // ready: the instructions show; busy: a picker is open or a run goes on;
  // over: a run finished or failed, and the next click starts again;
  // unsupported: the browser lacks what the program needs, and clicks do nothing.
  var state = "ready";
  // The worker for the next run, started ahead (see startProgram).
  var nextWorker = null;

  function folderWay() {
    return typeof window.showDirectoryPicker === "function";
  }

  function setCaption(text) {
    button.textContent = text;
  }

  // A run's progress captions would each change the button's name: while it
  // goes on, assistive technology hears one name and is told once of its
  // start and once of its end.
  function announceRun(running) {
    if (!running && !button.hasAttribute("aria-busy")) return;
    if (running) {
      button.setAttribute("aria-busy", "true");
      button.setAttribute("aria-label", TEXTS.running);
    } else {
      button.removeAttribute("aria-busy");
      button.removeAttribute("aria-label");
    }
    runStatus.textContent = running ? TEXTS.running : TEXTS.runEnded;
  }

  function hideError() {
    runError.textContent = "";
    runError.hidden = true;
  }

  function showInstructions() {
    var missing = missingNeeds();
    if (missing) {
      setCaption(TEXTS.unsupported(missing, workingBrowsers()));
      button.setAttribute("aria-disabled", "true");
      state = "unsupported";
      return;
    }
    setCaption(folderWay() ? TEXTS.folderInstructions : TEXTS.filesInstructions);
    hideError();
    clearDownloads();
    runStatus.textContent = "";
    state = "ready";
    if (!nextWorker) startNextWorker();
  }

  // At a narrow window or a large zoom what appears may lie below the fold.
  function bringIntoView(element) {
    element.scrollIntoView({ block: "nearest" });
  }

  function endRun(caption) {
    setCaption(caption);
    announceRun(false);
    state = "over";
  }

  // `replaced`: the outputs already put in place over earlier files.
  function showError(message, replaced) {
    endRun(replaced && replaced.length ? TEXTS.failedAfterReplacing(replaced) : TEXTS.failed);
    runError.textContent = message;
    runError.hidden = false;
    bringIntoView(runError);
  }

  // Anything but the program's own run-time error: the user learns what
  // happened and what to do, and the technical text follows for a report.
  function showCrash(technical, replaced) {
    var placed = replaced && replaced.length;
    var saved = placed ? replaced.join(" and ") + " in the folder was replaced." : "Nothing was saved.";
    endRun(placed ? TEXTS.failedAfterReplacing(replaced) : TEXTS.crashed);
    var explained = document.createElement("p");
    explained.textContent = TEXTS.crashExplained(saved, workingBrowsers());
    var details = document.createElement("p");
    details.className = "technical";
    details.textContent = technical;
    runError.replaceChildren(explained, details);
    runError.hidden = false;
    bringIntoView(runError);
  }

  function clearDownloads() {
    downloads.querySelectorAll("a").forEach(function (link) {
      URL.revokeObjectURL(link.href);
    });
    downloads.textContent = "";
    downloads.hidden = true;
  }

  // A failure of the browser while it saves the output `name`.
  function OutputFailure(name, error) {
    this.name = name;
    this.error = error;
  }

  function saving(name, step) {
    return Promise.resolve()
      .then(step)
      .catch(function (error) {
        throw new OutputFailure(name, error);
      });
  }

  // The program's outputs: their swap files are the browser's leftovers of our runs.
  var OUTPUTS = ["FixedLines.txt", "BadLines.txt"];
  // A run's temporary outputs are FixInputFiles-<run>-<output>.tmp. (In a
  // folder the user picked, Chromium refuses names that start with "~", like
  // the native program's temporaries: the page can never touch those.)
  var TEMPORARY = /^FixInputFiles-([0-9a-z]+)-\d+\.tmp$/;
  var RUN_LOCK = "FixInputFiles run ";

  // A leftover of a cut run: a temporary output, or a browser's swap file
  // (<name>.crswap or <name>.<n>.crswap) of one or of an output. Returns the
  // run it belongs to ("" when its name does not say), or null for any other file.
  function leftoverRun(name) {
    var swap = /^(.*?)(\.\d+)?\.crswap$/.exec(name);
    var of = swap ? swap[1] : name;
    if (swap && OUTPUTS.includes(of)) return "";
    var temporary = TEMPORARY.exec(of);
    return temporary ? temporary[1] : null;
  }

  // Removes what runs cut by a closed tab or a killed browser left in `folder`,
  // but nothing of a run still going on: each holds a lock of this origin
  // under its name, and the browser refuses to remove a file that a run of
  // another tab or origin still writes. Leftovers only take room: the run
  // goes on whatever happens here.
  async function removeLeftovers(folder) {
    var live = (await navigator.locks.query()).held.map(function (lock) {
      return lock.name;
    });
    var names = [];
    for await (var [name, handle] of folder.entries()) {
      var run = leftoverRun(name);
      if (handle.kind === "file" && run !== null && !live.includes(RUN_LOCK + run)) names.push(name);
    }
    for (var leftover of names) await folder.removeEntry(leftover).catch(function () {});
  }

  // Steps for saving(): whether `folder` holds a file `name`, and putting an output in place.
  function exists(folder, name) {
    return async function () {
      try {
        await folder.getFileHandle(name);
        return true;
      } catch (e) {
        if (e.name === "NotFoundError") return false;
        throw e;
      }
    };
  }
  function placing(output) {
    return function () {
      return output.handle.move(output.name);
    };
  }

  // Takes the lock `name`; resolves to the function that releases it.
  function holdLock(name) {
    return new Promise(function (granted) {
      navigator.locks.request(name, function () {
        return new Promise(function (release) {
          granted(release);
        });
      });
    });
  }

  // Outputs written into the chosen folder. Each streams into a temporary
  // file of the run, never named like an output, through a writable stream
  // (the browser writes a swap file and puts it in place when it is closed).
  // Only after the run succeeded are both closed and then each moved over
  // its output's name, one rename: an output's name holds its earlier file or
  // the whole new one, whether the tab is closed or the browser killed at any
  // moment, and a closed tab leaves no empty output. What such a cut leaves
  // (temporaries, swap files) the next run in the folder removes.
  function FolderOutputs(folder) {
    var run = Math.random().toString(36).slice(2, 10);
    var outputs = [];
    var release = null;
    var ready = holdLock(RUN_LOCK + run).then(function (unlock) {
      release = unlock;
      return removeLeftovers(folder).catch(function () {});
    });
    // Leaving the page ends the run; the browser asks first.
    function askBeforeLeaving(event) {
      event.preventDefault();
      event.returnValue = "";
    }
    window.addEventListener("beforeunload", askBeforeLeaving);
    async function end() {
      window.removeEventListener("beforeunload", askBeforeLeaving);
      await ready;
      release();
    }
    this.open = function (id, name) {
      var output = { name: name, temporary: "FixInputFiles-" + run + "-" + id + ".tmp", stream: null };
      outputs[id] = output;
      return saving(name, async function () {
        await ready;
        output.handle = await folder.getFileHandle(output.temporary, { create: true });
        output.stream = await output.handle.createWritable();
      });
    };
    this.write = function (id, bytes) {
      var output = outputs[id];
      return saving(output.name, function () {
        return output.stream.write(bytes);
      });
    };
    // All the writing is done before the first output is put in place, so
    // that the moment one is new beside an earlier other is as short as two renames.
    this.save = async function () {
      await ready;
      var saved = outputs.filter(Boolean);
      for (var output of saved) {
        var stream = output.stream;
        await saving(output.name, function () {
          return stream.close();
        });
        output.stream = null;
      }
      for (var output of saved) output.earlier = await saving(output.name, exists(folder, output.name));
      for (var output of saved) {
        await saving(output.name, placing(output));
        output.placed = true;
      }
      await end();
    };
    // Cleanup after a failure: the failure already reported is the one that
    // matters. An output put in place where there was none goes again.
    this.drop = async function () {
      await ready;
      for (var output of outputs) {
        if (!output) continue;
        if (output.stream) await output.stream.abort().catch(function () {});
        var name = output.placed ? (output.earlier ? null : output.name) : output.handle && output.temporary;
        if (name) await folder.removeEntry(name).catch(function () {});
      }
      await end();
    };
    // After drop: the outputs in place over earlier files, which no browser
    // call can put back.
    this.replaced = function () {
      return outputs.filter(function (output) {
        return output && output.placed && output.earlier;
      }).map(function (output) {
        return output.name;
      });
    };
    this.doneCaption = TEXTS.folderDone;
  }

  // Outputs offered as downloads, kept as blobs (which the browser may keep on
  // disk) until the run has succeeded.
  function DownloadOutputs() {
    var outputs = [];
    this.open = function (id, name) {
      outputs[id] = { name: name, parts: [] };
    };
    this.write = function (id, bytes) {
      outputs[id].parts.push(new Blob([bytes]));
    };
    this.save = function () {
      for (var output of outputs) {
        if (!output) continue;
        var link = document.createElement("a");
        link.download = output.name;
        link.href = URL.createObjectURL(new Blob(output.parts, { type: "text/plain" }));
        link.textContent = "Save " + output.name;
        downloads.append(link);
      }
      downloads.hidden = false;
      bringIntoView(downloads);
    };
    this.drop = function () {
      outputs = [];
    };
    this.replaced = function () {
      return [];
    };
    this.doneCaption = TEXTS.filesDone;
  }

  // Each run has a fresh start of the program in a worker of its own. The
  // next one is started ahead, when the page is idle, so the click finds it
  // loaded.
  function startNextWorker() {
    nextWorker = new Worker(workerUrl);
  }

  // The worker cannot read the inputs `names` itself (WebKit, from file://):
  // the page reads each whole and hands its bytes over, moved rather than
  // copied, or why the browser would not read it.
  async function handBytes(worker, inputs, names) {
    var bytes = {};
    var moved = [];
    for (var name of names) {
      try {
        bytes[name] = await inputs[name].arrayBuffer();
        moved.push(bytes[name]);
      } catch (e) {
        bytes[name] = { error: e.name, reason: e.message };
      }
    }
    worker.postMessage({ inputs: bytes }, moved);
  }

  // Gives the files of `job` to the next worker and passes its messages to `on`.
  function startProgram(job, on) {
    var worker = nextWorker || new Worker(workerUrl);
    nextWorker = null;
    worker.onmessage = function (event) {
      if (event.data.type === "unreadable") return handBytes(worker, job.inputs, event.data.names);
      var handler = on[event.data.type];
      if (handler) handler(event.data);
    };
    worker.onerror = function (event) {
      event.preventDefault();
      on.ended({ status: -1, failure: event.message || "The program could not start." });
    };
    worker.postMessage(job);
    return worker;
  }

  // One run on the files of `job`, saving through `outputs`.
  function run(job, outputs) {
    state = "busy";
    clearDownloads();
    hideError();
    announceRun(true);
    var error = null;
    var stopped = false;
    // The outputs' steps happen one after another, in the order the program wrote.
    var steps = Promise.resolve();
    function then(step) {
      steps = steps.then(function () {
        if (!stopped) return step();
      });
      steps.catch(stopSaving);
    }
    function stopSaving(failure) {
      if (stopped) return;
      stopped = true;
      worker.terminate();
      Promise.resolve(outputs.drop()).then(function () {
        if (failure instanceof OutputFailure) reportRefused(job, failure, outputs.replaced());
        else showCrash(String(failure), outputs.replaced());
      });
    }
    var worker = startProgram(job, {
      // Each caption is set, in order, as the program set it.
      captions: function (message) {
        if (!stopped) message.texts.forEach(setCaption);
      },
      output: function (message) {
        then(function () {
          return outputs.open(message.id, message.name);
        });
      },
      // A folder's stream queues its writes in order and its close waits for
      // them, so each write is handed on without waiting for the one before
      // (the disk keeps up with the program only so); a write that fails still
      // stops the run.
      chunk: function (message) {
        then(function () {
          Promise.resolve(outputs.write(message.id, message.bytes)).catch(stopSaving);
        });
      },
      error: function (message) {
        error = message.message;
      },
      ended: function (message) {
        worker.terminate();
        document.documentElement.dataset.programMemoryBytes = message.memory;
        then(async function () {
          if (message.status === 0 && error === null) {
            await outputs.save();
            stopped = true;
            endRun(outputs.doneCaption);
          } else {
            stopped = true;
            await outputs.drop();
            if (error) showError(error);
            else showCrash(message.failure || "The program ended with status " + message.status + ".");
          }
        });
      },
    });
  }

  // The browser refused to save an output: the program runs again with that
  // answer for the output, so that it reports the failure in its own words,
  // as it reports every other. Nothing is saved from that run.
  function reportRefused(job, failure, replaced) {
    var again = Object.assign({}, job, {
      refused: { name: failure.name, error: failure.error.name, reason: failure.error.message },
    });
    var error = null;
    var worker = startProgram(again, {
      error: function (message) {
        error = message.message;
      },
      ended: function () {
        worker.terminate();
        showError(error || failure.name + ": " + failure.error.message, replaced);
      },
    });
  }

  // What the program needs of an input: the File, or why the browser could not give it.
  async function inputFrom(folder, name) {
    try {
      var handle = await folder.getFileHandle(name);
      return await handle.getFile();
    } catch (e) {
      return { error: e.name, reason: e.message };
    }
  }

  async function runOnFolder() {
    var folder;
    state = "busy";
    try {
      folder = await window.showDirectoryPicker({ mode: "readwrite" });
    } catch (e) {
      if (e.name === "AbortError") {
        showInstructions();
        return;
      }
      showError(e.name + ": " + e.message);
      return;
    }
    var inputs = {};
    [inputs[IN], inputs[SYMBOLS]] = await Promise.all([inputFrom(folder, IN), inputFrom(folder, SYMBOLS)]);
    run({ folder: folder.name, inputs: inputs }, new FolderOutputs(folder));
  }

  // Files chosen one by one have no folder the page can name: the program's
  // paths start at ".".
  picker.addEventListener("change", function () {
    var inputs = {};
    for (var file of picker.files) if (file.name === IN || file.name === SYMBOLS) inputs[file.name] = file;
    picker.value = "";
    run({ folder: ".", inputs: inputs }, new DownloadOutputs());
  });

  button.addEventListener("click", function () {
    if (state === "busy" || state === "unsupported") return;
    if (state === "over") return showInstructions();
    if (folderWay()) return runOnFolder();
    picker.click();
  });

  showInstructions();
  button.focus();
})();
