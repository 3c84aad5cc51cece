// The page's one button, and the ways it is given the files: the folder
// picker, the file chooser, a drop.

// The inputs a run takes, by name; Replacements.txt is optional.
const INPUTS = [IN, SYMBOLS, REPLACEMENTS];

// The inputs of a dropped folder that the page may only read.
async function filesIn(folderEntry) {
  const entries = [];
  const reader = folderEntry.createReader();
  for (let more = true; more;) {
    const batch = await new Promise((resolve) => reader.readEntries(resolve, () => resolve([])));
    entries.push(...batch);
    more = batch.length > 0;
  }
  const wanted = entries.filter((entry) => entry.isFile && INPUTS.includes(entry.name));
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

// The Replacements.txt of a run again: the bytes of `earlier` (none, a File
// or Blob, or why the browser would not give it), ended by a line end, then a
// record for each of `checked`, as the report writes its symbol and its
// replacement. Returns the file for the program and, unless the browser
// would not read the earlier one (which the program then reports), the
// bytes to save.
async function replacementsWith(earlier, checked) {
  let bytes = new Uint8Array(0);
  if (earlier) {
    if (earlier.error) return { input: earlier };
    try {
      bytes = new Uint8Array(await earlier.arrayBuffer());
    } catch (e) {
      return { input: { error: e.name, reason: e.message } };
    }
  }
  const last = bytes[bytes.length - 1];
  const end = bytes.length > 0 && last !== 0x0a && last !== 0x0d ? "\r\n" : "";
  // Where no record comes before them, a first one whose symbol is "Symbol"
  // would be read as the header: one goes first.
  const none = bytes.length <= 64 && /^(\xef\xbb\xbf)?[\r\n]*$/.test(String.fromCharCode(...bytes));
  const records = none && checked[0].symbol === "Symbol" ? ["Symbol\tReplace with\r\n"] : [];
  for (const { symbol, replacement } of checked) records.push(`${symbol}\t${replacement}\r\n`);
  const blob = new Blob([bytes, end, ...records], { type: "text/plain" });
  return { input: blob, written: [{ name: REPLACEMENTS, blob }] };
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
    // What a run again with the checked replacements does: set by each run.
    this.again = null;
    this.view.runAgainButton.addEventListener("click", () => this.runAgain());
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

  // The inputs among chosen or dropped files; the program's paths then
  // start at ".", since such files have no folder the page can name.
  runOnFiles(files) {
    const inputs = {};
    for (const file of files) if (INPUTS.includes(file.name)) inputs[file.name] = file;
    return this.runFiles(inputs);
  }

  // A run again takes the same files, its Replacements.txt the one made for it.
  async runFiles(inputs, checked) {
    this.state = "busy";
    let written = [];
    if (checked) ({ input: inputs[REPLACEMENTS], written = [] } = await replacementsWith(inputs[REPLACEMENTS], checked));
    this.again = (checked) => this.runFiles(inputs, checked);
    return this.run({ folder: ".", inputs, written }, new DownloadOutputs(this.view));
  }

  runAgain() {
    const checked = this.view.checkedReplacements();
    if (this.state !== "over" || checked.length === 0) return;
    return this.again(checked);
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
    await this.runInFolder(folder);
  }

  // The inputs as the folder has them now; a run again writes its
  // Replacements.txt there, when it succeeds, for the desktop program too.
  async runInFolder(folder, checked) {
    this.state = "busy";
    const inputs = {};
    await Promise.all(INPUTS.map(async (name) => {
      const input = await inputFrom(folder, name);
      if (name !== REPLACEMENTS || input.error !== "NotFoundError") inputs[name] = input;
    }));
    let written = [];
    if (checked) ({ input: inputs[REPLACEMENTS], written = [] } = await replacementsWith(inputs[REPLACEMENTS], checked));
    this.again = (checked) => this.runInFolder(folder, checked);
    await this.run({ folder: folder.name, inputs, written }, new FolderOutputs(folder));
  }
}

new Page().view.button.focus();
