// The page's one button, and the ways it is given the files: the folder
// picker, the file chooser, a drop.

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
