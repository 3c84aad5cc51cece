// Putting the outputs in place: in the chosen folder under temporary names
// that become the outputs' only when the run succeeded, with what a cut run
// left there removed; or as links, where the page cannot write to a folder.
// Both take the program's outputs one step at a time: open, write, then save
// or drop; an output the program withdraws is no output of the run, and in
// the folder its earlier file goes when the others are saved. The page's own
// output, the Replacements.txt of a run again, takes the same steps.

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

// The outputs: their swap files are the browser's leftovers of our runs.
const OUTPUTS = ["FixedLines.txt", "BadLines.txt", "SymbolReport.txt", SUGGESTIONS, REPLACEMENTS];
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
    this.withdrawn = [];
    this.doneCaption = TEXTS.folderDone;
    this.againText = TEXTS.folderAgain;
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
  // keeps up with the program only so). The write's own promise carries its
  // failure: the page's most frequent step takes no detour through saving().
  write(id, bytes) {
    const output = this.outputs.get(id);
    return output.stream.write(bytes).catch((error) => {
      throw new OutputFailure(output, error);
    });
  }

  // The output goes with its temporary file; its earlier one, when the run
  // has succeeded. The stream, which got nothing, is closed rather than
  // aborted: Chromium may still hold an aborted stream's file for a moment,
  // and refuse to remove it. (A temporary left all the same is removed by
  // the next run in the folder.)
  async withdraw(id) {
    const output = this.outputs.get(id);
    this.outputs.delete(id);
    this.withdrawn.push(output);
    await output.stream.close().catch(() => {});
    output.stream = null;
    await this.folder.removeEntry(output.temporary).catch(() => {});
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
    for (const output of this.withdrawn) {
      await saving(output, async () => {
        if (await exists(this.folder, output.name)) await this.folder.removeEntry(output.name);
      });
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
    this.againText = TEXTS.filesAgain;
  }

  open(id, output) {
    output.parts = [];
    this.outputs.set(id, output);
  }

  async write(id, bytes) {
    this.outputs.get(id).parts.push(new Blob([bytes]));
  }

  withdraw(id) {
    this.outputs.delete(id);
  }

  // The page's own output after the program's.
  save() {
    const outputs = [...this.outputs.values()].sort((a, b) => Boolean(a.page) - Boolean(b.page));
    this.view.showDownloads(outputs.map(({ name, parts }) => ({ name, blob: new Blob(parts, { type: "text/plain" }) })));
  }

  drop() {
    this.outputs.clear();
  }

  replaced() {
    return [];
  }
}
