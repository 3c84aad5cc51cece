// The page's side of a run: the button, the ways to the files, and putting the
// outputs in place. The cleaning itself runs in a worker, from the program
// compiled to WebAssembly; nothing here knows its rules, and every text shown
// is the program's (the build writes them into the page).
"use strict";
{
  const IN = "in.txt";
  const SYMBOLS = "Symbols.txt";
  const REPORT = "SymbolReport.txt";
  // The most records of the report the page shows: the file has them all.
  const REPORT_ROWS = 50;
  const TEXTS = JSON.parse(document.getElementById("Texts").textContent);

  // A text of TEXTS with its {names} filled in from `values`.
  const fill = (text, values) => text.replace(/\{(\w+)\}/g, (_, name) => values[name]);

  // What the program needs of the browser, checked before the first click,
  // each with the first versions of the four browsers that have it (from the
  // browsers' compatibility tables). The WebAssembly features are those the
  // build uses (the page test compares them with the module's, through
  // wasm-validate): an entry goes when the build stops using its feature.
  // Nothing the checks ask about is used before they have answered.
  const NEEDS = [
    {
      // Compiled under the page's policy ('wasm-unsafe-eval'): Chrome before 97
      // and Safari before 16 refuse it; Firefox before 102 does not apply the
      // policy to WebAssembly.
      words: "WebAssembly",
      present: () => compiles([0, 0x61, 0x73, 0x6d, 1, 0, 0, 0]),
      versions: { Chrome: "97", Edge: "97", Firefox: "52", Safari: "16" },
    },
    {
      // Workers started from blob: URLs that read the chosen files with
      // FileReaderSync. Edge 79 is Edge on Chromium.
      words: "web workers",
      present: () => typeof Worker === "function" && typeof Blob === "function" &&
        typeof URL.createObjectURL === "function",
      versions: { Chrome: "55", Edge: "79", Firefox: "52", Safari: "11" },
    },
    {
      // -msimd128: (func (result v128) i32.const 0 i8x16.splat i8x16.popcnt),
      // an instruction of the final opcode numbering.
      words: "WebAssembly's vector instructions (SIMD)",
      present: () => typeof WebAssembly === "object" && WebAssembly.validate(new Uint8Array([0, 0x61, 0x73, 0x6d, 1,
        0, 0, 0, 1, 5, 1, 0x60, 0, 1, 0x7b, 3, 2, 1, 0, 10, 10, 1, 8, 0, 0x41, 0, 0xfd, 0x0f, 0xfd, 0x62, 0x0b])),
      versions: { Chrome: "91", Edge: "91", Firefox: "89", Safari: "16.4" },
    },
    {
      // The program is in the page gzipped.
      words: "DecompressionStream",
      present: () => typeof DecompressionStream === "function",
      versions: { Chrome: "80", Edge: "80", Firefox: "113", Safari: "16.4" },
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

  function later(a, b) {
    const [x, y] = [a, b].map((version) => version.split(".").map(Number));
    for (let i = 0; i < Math.max(x.length, y.length); i++) {
      if ((x[i] || 0) !== (y[i] || 0)) return (x[i] || 0) > (y[i] || 0) ? a : b;
    }
    return a;
  }

  // The oldest versions that have every need, in words. On an iPhone or iPad
  // every browser is Safari's engine, of the system's version.
  function workingBrowsers() {
    const oldest = {};
    for (const need of NEEDS) {
      for (const [browser, version] of Object.entries(need.versions)) {
        oldest[browser] = oldest[browser] ? later(oldest[browser], version) : version;
      }
    }
    return `Chrome ${oldest.Chrome}, Edge ${oldest.Edge}, Firefox ${oldest.Firefox} or Safari ${oldest.Safari} ` +
      `(or a later version; on an iPhone or iPad, iOS ${oldest.Safari} or later)`;
  }

  // The needs this browser lacks, in words, or "" when it has them all.
  function missingNeeds() {
    const missing = NEEDS.filter((need) => !need.present()).map((need) => need.words);
    if (missing.length < 2) return missing.join("");
    return `${missing.slice(0, -1).join(", ")} and ${missing[missing.length - 1]}`;
  }

  // What the page shows: the button's caption, what assistive technology is
  // told, the error below the button and the download links.
  class View {
    constructor() {
      this.button = document.getElementById("Command1");
      this.runError = document.getElementById("RunError");
      this.runStatus = document.getElementById("RunStatus");
      this.downloads = document.getElementById("Downloads");
      this.report = document.getElementById("Report");
      this.announced = false;
    }

    setCaption(text) {
      this.button.textContent = text;
    }

    // A run's progress captions would each change the button's name: while it
    // goes on, assistive technology hears one name and is told once of its
    // start and once of its end.
    startRun() {
      this.clearDownloads();
      this.clearReport();
      this.hideError();
      this.button.setAttribute("aria-busy", "true");
      this.button.setAttribute("aria-label", TEXTS.running);
      this.runStatus.textContent = TEXTS.running;
      this.announced = true;
    }

    // Also ends what never started as a run: a folder picker that failed.
    endRun(caption) {
      this.setCaption(caption);
      if (!this.announced) return;
      this.announced = false;
      this.button.removeAttribute("aria-busy");
      this.button.removeAttribute("aria-label");
      this.runStatus.textContent = TEXTS.runEnded;
    }

    showInstructions(caption) {
      this.setCaption(caption);
      this.hideError();
      this.clearDownloads();
      this.clearReport();
      this.runStatus.textContent = "";
    }

    showUnsupported(missing) {
      this.setCaption(fill(TEXTS.unsupported, { missing, browsers: workingBrowsers() }));
      this.button.setAttribute("aria-disabled", "true");
    }

    // `replaced`: the outputs already put in place over earlier files.
    showError(message, replaced) {
      this.endRun(replaced.length ? fill(TEXTS.failedAfterReplacing, { names: replaced.join(" and ") }) : TEXTS.failed);
      this.runError.textContent = message;
      this.show(this.runError);
    }

    // Anything but the program's own run-time error: the user learns what
    // happened and what to do, and the technical text follows for a report.
    showCrash(technical, replaced) {
      const names = replaced.join(" and ");
      this.endRun(replaced.length ? fill(TEXTS.failedAfterReplacing, { names }) : TEXTS.crashed);
      const explained = document.createElement("p");
      const saved = replaced.length ? fill(TEXTS.replaced, { names }) : TEXTS.nothingSaved;
      explained.textContent = fill(TEXTS.crashExplained, { saved, browsers: workingBrowsers() });
      const details = document.createElement("p");
      details.className = "technical";
      details.textContent = technical;
      this.runError.replaceChildren(explained, details);
      this.show(this.runError);
    }

    showDownloads(outputs) {
      for (const { name, blob } of outputs) {
        const link = document.createElement("a");
        link.download = name;
        link.href = URL.createObjectURL(blob);
        link.textContent = fill(TEXTS.save, { name });
        this.downloads.append(link);
      }
      this.show(this.downloads);
    }

    // The report as a table, its most removed symbols first, with the
    // findings a user must see above it and the sentences after it: records
    // of tab-separated fields, each ended by CR LF; a sentence stands in the
    // Note column of a record of its own.
    showReport(text) {
      const records = text.split("\r\n");
      const header = records.findIndex((record) => record.startsWith("Symbol\t"));
      const blank = records.indexOf("", header);
      const sentences = (list) => list.filter(Boolean).map((record) => record.split("\t")[5] ?? record)
        .map((sentence) => Object.assign(document.createElement("p"), { textContent: sentence }));
      const rows = records.slice(header + 1, blank).map((record) => record.split("\t"));
      document.getElementById("ReportFindings").replaceChildren(...sentences(records.slice(0, header)));
      const headings = document.createElement("tr");
      for (const name of records[header].split("\t")) {
        const heading = document.createElement("th");
        heading.scope = "col";
        heading.textContent = name;
        headings.append(heading);
      }
      this.report.querySelector("thead").replaceChildren(headings);
      this.report.querySelector("tbody").replaceChildren(...rows.slice(0, REPORT_ROWS).map((fields) => {
        const row = document.createElement("tr");
        fields.forEach((field, column) => {
          const cell = document.createElement(column === 0 ? "th" : "td");
          if (column === 0) cell.scope = "row";
          if (column === 0 || column === 6) {
            cell.append(...withMarks(field));
          } else {
            cell.textContent = field;
          }
          if (column >= 2 && column <= 4) cell.className = "count";
          row.append(cell);
        });
        return row;
      }));
      this.report.querySelector(".report-table").hidden = rows.length === 0;
      const title = rows.length > REPORT_ROWS ? TEXTS.reportFirst : TEXTS.report;
      document.getElementById("ReportTitle").textContent = fill(title, { shown: REPORT_ROWS, name: REPORT });
      document.getElementById("ReportSentences").replaceChildren(...sentences(records.slice(blank + 1)));
      this.report.hidden = false;
    }

    clearReport() {
      this.report.hidden = true;
      this.report.querySelector("tbody").textContent = "";
    }

    // At a narrow window or a large zoom what appears may lie below the fold.
    show(element) {
      element.hidden = false;
      element.scrollIntoView({ block: "nearest" });
    }

    hideError() {
      this.runError.textContent = "";
      this.runError.hidden = true;
    }

    clearDownloads() {
      for (const link of this.downloads.querySelectorAll("a")) URL.revokeObjectURL(link.href);
      this.downloads.textContent = "";
      this.downloads.hidden = true;
    }
  }

  // A symbol as the report writes it, with <U+00A0> for a character that
  // cannot be seen and <0xE9> for a stray byte: those as marks a person sees.
  function withMarks(symbol) {
    return symbol.split(/<(U\+[0-9A-F]{4,6}|0x[0-9A-F]{2})>/).map((part, i) => {
      if (i % 2 === 0) return part;
      const mark = document.createElement("span");
      mark.className = "mark";
      mark.textContent = part;
      return mark;
    });
  }

  // A failure of the browser while it saves an output.
  class OutputFailure {
    constructor(output, error) {
      this.output = output;
      this.error = error;
    }
  }

  // Runs `step` for `output`, its failure an OutputFailure.
  async function saving(output, step) {
    try {
      return await step();
    } catch (error) {
      throw new OutputFailure(output, error);
    }
  }

  // The program's outputs: their swap files are the browser's leftovers of our runs.
  const OUTPUTS = ["FixedLines.txt", "BadLines.txt", "SymbolReport.txt"];
  // A run's temporary outputs are FixInputFiles-<run>-<output>.tmp. (In a
  // folder the user picked, Chromium refuses names that start with "~", like
  // the native program's temporaries: the page can never touch those.)
  const TEMPORARY = /^FixInputFiles-([0-9a-z]+)-\d+\.tmp$/;
  const RUN_LOCK = "FixInputFiles run ";

  // A leftover of a cut run: a temporary output, or a browser's swap file
  // (<name>.crswap or <name>.<n>.crswap) of one or of an output. Returns the
  // run it belongs to ("" when its name does not say), or null for any other file.
  function leftoverRun(name) {
    const swap = /^(.*?)(\.\d+)?\.crswap$/.exec(name);
    const of = swap ? swap[1] : name;
    if (swap && OUTPUTS.includes(of)) return "";
    const temporary = TEMPORARY.exec(of);
    return temporary ? temporary[1] : null;
  }

  // Removes what runs cut by a closed tab or a killed browser left in `folder`,
  // but nothing of a run still going on: each holds a lock of this origin
  // under its name, and the browser refuses to remove a file that a run of
  // another tab or origin still writes. Leftovers only take room: the run
  // goes on whatever happens here.
  async function removeLeftovers(folder) {
    const live = (await navigator.locks.query()).held.map((lock) => lock.name);
    const names = [];
    for await (const [name, handle] of folder.entries()) {
      const run = leftoverRun(name);
      if (handle.kind === "file" && run !== null && !live.includes(RUN_LOCK + run)) names.push(name);
    }
    for (const name of names) await folder.removeEntry(name).catch(() => {});
  }

  async function exists(folder, name) {
    try {
      await folder.getFileHandle(name);
      return true;
    } catch (e) {
      if (e.name === "NotFoundError") return false;
      throw e;
    }
  }

  // Takes the lock `name`; resolves to the function that releases it.
  const holdLock = (name) => new Promise((granted) => {
    navigator.locks.request(name, () => new Promise((release) => granted(release)));
  });

  // Leaving the page ends the run; the browser asks first.
  function askBeforeLeaving(event) {
    event.preventDefault();
    event.returnValue = "";
  }

  // Outputs written into the chosen folder. Each streams into a temporary
  // file of the run, never named like an output, through a writable stream
  // (the browser writes a swap file and puts it in place when it is closed).
  // Only after the run succeeded are both closed and then each moved over
  // its output's name, one rename: an output's name holds its earlier file or
  // the whole new one, whether the tab is closed or the browser killed at any
  // moment, and a closed tab leaves no empty output. What such a cut leaves
  // (temporaries, swap files) the next run in the folder removes.
  class FolderOutputs {
    constructor(folder) {
      this.folder = folder;
      this.run = Math.random().toString(36).slice(2, 10);
      this.outputs = new Map();
      this.doneCaption = TEXTS.folderDone;
      this.ready = holdLock(RUN_LOCK + this.run).then(async (release) => {
        this.release = release;
        await removeLeftovers(folder).catch(() => {});
      });
      window.addEventListener("beforeunload", askBeforeLeaving);
    }

    async open(id, output) {
      output.temporary = `FixInputFiles-${this.run}-${id}.tmp`;
      this.outputs.set(id, output);
      await saving(output, async () => {
        await this.ready;
        output.handle = await this.folder.getFileHandle(output.temporary, { create: true });
        output.stream = await output.handle.createWritable();
      });
    }

    // A stream queues its writes in order and its close waits for them, so
    // each write is handed on without waiting for the one before (the disk
    // keeps up with the program only so).
    write(id, bytes) {
      const output = this.outputs.get(id);
      return saving(output, () => output.stream.write(bytes));
    }

    // All the writing is done before the first output is put in place, so
    // that the moment one is new beside an earlier other is as short as two renames.
    async save() {
      // The streams close, and the earlier files are looked for, all at once:
      // nothing is in place yet, and each step waits on the browser.
      const outputs = [...this.outputs.values()];
      await Promise.all(outputs.map(async (output) => {
        await saving(output, () => output.stream.close());
        output.stream = null;
        output.earlier = await saving(output, () => exists(this.folder, output.name));
      }));
      for (const output of outputs) {
        await saving(output, () => output.handle.move(output.name));
        output.placed = true;
      }
      await this.end();
    }

    // Cleanup after a failure: the failure already reported is the one that
    // matters. An output put in place where there was none goes again.
    async drop() {
      await this.ready;
      for (const output of this.outputs.values()) {
        if (output.stream) await output.stream.abort().catch(() => {});
        const name = output.placed ? !output.earlier && output.name : output.handle && output.temporary;
        if (name) await this.folder.removeEntry(name).catch(() => {});
      }
      await this.end();
    }

    async end() {
      window.removeEventListener("beforeunload", askBeforeLeaving);
      await this.ready;
      this.release();
    }

    // After drop: the outputs in place over earlier files, which no browser
    // call can put back.
    replaced() {
      return [...this.outputs.values()].filter((output) => output.placed && output.earlier).map((output) => output.name);
    }
  }

  // Outputs offered as downloads, kept as blobs (which the browser may keep on
  // disk) until the run has succeeded.
  class DownloadOutputs {
    constructor(view) {
      this.view = view;
      this.outputs = new Map();
      this.doneCaption = TEXTS.filesDone;
    }

    open(id, output) {
      output.parts = [];
      this.outputs.set(id, output);
    }

    async write(id, bytes) {
      this.outputs.get(id).parts.push(new Blob([bytes]));
    }

    save() {
      this.view.showDownloads([...this.outputs.values()].map(({ name, parts }) =>
        ({ name, blob: new Blob(parts, { type: "text/plain" }) })));
    }

    drop() {
      this.outputs.clear();
    }

    replaced() {
      return [];
    }
  }

  // The program, gzipped in the page (the Unicode tables would make the page
  // twice its size), unpacked and compiled. Written into the stream rather
  // than read from a Blob: WebKit cannot read a Blob's stream in a worker of
  // a page opened from file:// (NotReadableError), and this stays safe there.
  async function compileProgram() {
    const text = atob(document.getElementById("Program").textContent.trim());
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    const unpacking = new DecompressionStream("gzip");
    const writer = unpacking.writable.getWriter();
    const [, , program] = await Promise.all([writer.write(bytes), writer.close(),
      new Response(unpacking.readable).arrayBuffer()]);
    return WebAssembly.compile(program);
  }

  // The program's workers. Each run has a fresh start of the program in a
  // worker of its own; the next one is started ahead, when the page is idle,
  // so that the click finds it loaded. The program is compiled once, for all
  // of them. An idle one also words the browser's refusals for the page.
  class Programs {
    constructor() {
      this.url = URL.createObjectURL(new Blob([document.getElementById("WorkerSource").textContent],
        { type: "text/javascript" }));
      this.program = compileProgram();
      this.next = null;
    }

    // The next worker, a promise: it is started once the program is compiled.
    startNext() {
      this.next = this.next || this.program.then((program) => {
        const worker = new Worker(this.url);
        worker.postMessage({ program });
        return worker;
      });
    }

    take() {
      this.startNext();
      const worker = this.next;
      this.next = null;
      return worker;
    }

    // The program's run-time error for the browser's `error` on the file `path`.
    async word(path, error) {
      this.startNext();
      const worker = await this.next;
      return new Promise((resolve) => {
        worker.onmessage = ({ data }) => resolve(data.message);
        worker.postMessage({ word: { path, error: error.name, reason: error.message } });
      });
    }
  }

  // The worker cannot read the inputs `names` itself (WebKit, from file://):
  // the page reads each whole and hands its bytes over, moved rather than
  // copied, or why the browser would not read it.
  async function handBytes(worker, inputs, names) {
    const bytes = {};
    const moved = [];
    for (const name of names) {
      try {
        bytes[name] = await inputs[name].arrayBuffer();
        moved.push(bytes[name]);
      } catch (e) {
        bytes[name] = { error: e.name, reason: e.message };
      }
    }
    worker.postMessage({ inputs: bytes }, moved);
  }

  // One run of the program on the files of `job`, saving through `outputs`.
  // Resolves once the outputs are in place, or the failure is shown.
  async function run(view, programs, job, outputs) {
    view.startRun();
    let worker;
    try {
      worker = await programs.take();
    } catch (failure) {
      await outputs.drop();
      view.showCrash(String(failure), []);
      return;
    }
    // The first failure, the one shown: an OutputFailure, {message} for the
    // program's run-time error, or {crash} for anything else.
    let failure = null;
    let over;
    const ended = new Promise((resolve) => { over = resolve; });
    const stop = (why) => {
      if (failure) return;
      failure = why;
      worker.terminate();
      over();
    };
    // The outputs' steps happen one after another, in the order the program wrote.
    let steps = Promise.resolve();
    const then = (step) => {
      steps = steps.then(() => failure || step()).catch(stop);
    };
    let succeeded = false;
    let error = null;
    // The report's bytes, kept for its table as they go to the file.
    let reportId = null;
    const reportParts = [];
    const on = {
      // Each caption is set, in order, as the program set it.
      captions: ({ texts }) => {
        if (!failure) for (const text of texts) view.setCaption(text);
      },
      unreadable: ({ names }) => handBytes(worker, job.inputs, names),
      output: ({ id, name, path }) => {
        if (name === REPORT) reportId = id;
        then(() => outputs.open(id, { name, path }));
      },
      // A write that fails stops the run, but the next is not kept waiting for it.
      chunk: ({ id, bytes }) => {
        if (id === reportId) reportParts.push(bytes);
        then(() => { outputs.write(id, bytes).catch(stop); });
      },
      error: ({ message }) => { error = message; },
      succeeded: () => { succeeded = true; },
      ended: ({ status, failure: crash, memory }) => {
        worker.terminate();
        document.documentElement.dataset.programMemoryBytes = memory;
        if (succeeded && status === 0) over();
        else stop(error ? { message: error } : { crash: crash || fill(TEXTS.endedWithStatus, { status }) });
      },
    };
    worker.onmessage = ({ data }) => on[data.type](data);
    worker.onerror = (event) => {
      event.preventDefault();
      stop({ crash: event.message || TEXTS.couldNotStart });
    };
    worker.postMessage(job);

    await ended;
    await steps;
    if (!failure) {
      try {
        await outputs.save();
        view.endRun(outputs.doneCaption);
        view.showReport(await new Blob(reportParts).text());
        return;
      } catch (refused) {
        failure = refused;
      }
    }
    await outputs.drop();
    const replaced = outputs.replaced();
    if (failure instanceof OutputFailure) {
      view.showError(await programs.word(failure.output.path, failure.error), replaced);
    } else if (failure.message) {
      view.showError(failure.message, replaced);
    } else {
      view.showCrash(String(failure.crash), replaced);
    }
  }

  // The files in.txt and Symbols.txt of a dropped folder that the page may
  // only read.
  async function filesIn(folderEntry) {
    const entries = [];
    const reader = folderEntry.createReader();
    for (let more = true; more;) {
      const batch = await new Promise((resolve) => reader.readEntries(resolve, () => resolve([])));
      entries.push(...batch);
      more = batch.length > 0;
    }
    const wanted = entries.filter((entry) => entry.isFile && (entry.name === IN || entry.name === SYMBOLS));
    return Promise.all(wanted.map((entry) => new Promise((resolve, reject) => entry.file(resolve, reject))));
  }

  // What the program needs of an input: the File, or why the browser could not give it.
  async function inputFrom(folder, name) {
    try {
      return await (await folder.getFileHandle(name)).getFile();
    } catch (e) {
      return { error: e.name, reason: e.message };
    }
  }

  // The page's one button. `state` is ready (the instructions show), busy (a
  // picker is open or a run goes on), over (a run finished or failed, and the
  // next click starts again) or unsupported (the browser lacks what the
  // program needs, and clicks do nothing).
  class Page {
    constructor() {
      this.view = new View();
      this.picker = document.getElementById("FilePicker");
      this.folderWay = typeof window.showDirectoryPicker === "function";
      const missing = missingNeeds();
      if (missing) {
        this.state = "unsupported";
        this.view.showUnsupported(missing);
        return;
      }
      this.programs = new Programs();
      this.showInstructions();
      this.view.button.addEventListener("click", () => this.click());
      // Files chosen one by one have no folder the page can name: the program's
      // paths start at ".".
      this.picker.addEventListener("change", () => {
        const files = [...this.picker.files];
        this.picker.value = "";
        this.runOnFiles(files);
      });
      // Files or a folder dropped anywhere on the page: the run the button
      // would start with them. Where a mouse can drag, the page says so.
      const dragged = (event) => event.dataTransfer && [...event.dataTransfer.types].includes("Files");
      document.addEventListener("dragover", (event) => {
        if (dragged(event)) event.preventDefault();
      });
      document.addEventListener("drop", (event) => {
        if (!dragged(event)) return;
        event.preventDefault();
        this.dropped(event.dataTransfer);
      });
      const hint = document.getElementById("DropHint");
      hint.textContent = TEXTS.dropHint;
      hint.hidden = !window.matchMedia("(pointer: fine)").matches;
    }

    // The two inputs among chosen or dropped files; the program's paths then
    // start at ".", since such files have no folder the page can name.
    runOnFiles(files) {
      const inputs = {};
      for (const file of files) if (file.name === IN || file.name === SYMBOLS) inputs[file.name] = file;
      return this.run({ folder: ".", inputs }, new DownloadOutputs(this.view));
    }

    // A dropped folder that the browser lets the page write to is used as the
    // chosen folder; a folder it does not, or files, as chosen files. After a
    // run a drop starts over, as a click would, and then runs.
    async dropped(data) {
      if (this.state === "busy" || this.state === "unsupported") return;
      // The drop's data lasts only while it is handled: its handles and
      // entries are asked for at once.
      const items = [...data.items].filter((item) => item.kind === "file");
      const handles = items.map((item) => item.getAsFileSystemHandle && item.getAsFileSystemHandle().catch(() => null));
      const entries = items.map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
      const files = [...data.files];
      if (this.state === "over") this.showInstructions();
      this.state = "busy";
      const folder = (await Promise.all(handles)).find((handle) => handle && handle.kind === "directory");
      if (folder) return this.runOnFolder(folder);
      const folderEntry = entries.find((entry) => entry && entry.isDirectory);
      await this.runOnFiles(folderEntry ? await filesIn(folderEntry) : files);
    }

    showInstructions() {
      this.view.showInstructions(this.folderWay ? TEXTS.folderInstructions : TEXTS.filesInstructions);
      this.state = "ready";
      this.programs.startNext();
    }

    click() {
      if (this.state === "busy") return;
      if (this.state === "over") return this.showInstructions();
      if (this.folderWay) return this.runOnFolder();
      this.picker.click();
    }

    async run(job, outputs) {
      this.state = "busy";
      await run(this.view, this.programs, job, outputs);
      this.state = "over";
    }

    // The folder the user chose, or dropped.
    async runOnFolder(dropped) {
      this.state = "busy";
      let folder;
      try {
        folder = dropped || await window.showDirectoryPicker({ mode: "readwrite" });
        if (dropped && await dropped.requestPermission({ mode: "readwrite" }) !== "granted") {
          throw new DOMException("The user did not let the page change the folder.", "NotAllowedError");
        }
      } catch (e) {
        if (e.name === "AbortError") return this.showInstructions();
        this.view.showError(await this.programs.word(TEXTS.chosenFolder, e), []);
        this.state = "over";
        return;
      }
      const [list, symbols] = await Promise.all([inputFrom(folder, IN), inputFrom(folder, SYMBOLS)]);
      await this.run({ folder: folder.name, inputs: { [IN]: list, [SYMBOLS]: symbols } }, new FolderOutputs(folder));
    }
  }

  new Page().view.button.focus();
}
