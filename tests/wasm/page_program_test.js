// The page's program (build-web/worker.js) under node, with the page played by
// the test: inputs as File-like objects read through FileReaderSync, outputs
// gathered from the chunks the program posts. Usage: node page_program_test.js WORKER_JS GOLDEN_DIR
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");

const FixInputFilesModule = require(path.resolve(process.argv[2]));
const golden = process.argv[3];
const MiB = 1 << 20;

// A File as the page gets it: `slice` gives a part that FileReaderSync reads at once.
class FakeFile {
  constructor(bytes, failAt = Infinity) {
    this.bytes = Buffer.from(bytes, "latin1");
    this.size = this.bytes.length;
    this.failAt = failAt;
  }
  slice(start, end) {
    return { file: this, start, end: Math.min(end, this.size) };
  }
}
global.FileReaderSync = class {
  readAsArrayBuffer(part) {
    if (part.end > part.file.failAt) {
      const error = new Error("The file could not be read.");
      error.name = "NotReadableError";
      throw error;
    }
    const copy = new Uint8Array(part.end - part.start);
    copy.set(part.file.bytes.subarray(part.start, part.end));
    return copy.buffer;
  }
};

// One click on the page: what the program posted, and the outputs' bytes.
async function clickWith(inputs, refused) {
  const messages = [];
  const page = { folder: "words", inputs, refused, post: (message) => messages.push(message) };
  const program = await FixInputFilesModule({
    page,
    quit: (status, toThrow) => {
      throw toThrow;
    },
  });
  let ended;
  try {
    ended = program.callMain([]);
  } catch {
    ended = "stopped";
  }
  const names = {};
  const outputs = {};
  for (const message of messages) {
    if (message.type === "output") {
      names[message.id] = message.name;
      outputs[message.name] = "";
    } else if (message.type === "chunk") {
      outputs[names[message.id]] += Buffer.from(message.bytes).toString("latin1");
    }
  }
  const error = messages.find((message) => message.type === "error");
  const captions = messages.filter((m) => m.type === "caption").map((m) => m.text);
  return { ended, outputs, error: error && error.message, captions };
}

function goldenFile(name) {
  return fs.readFileSync(path.join(golden, name), "latin1");
}

test("the golden files give the golden outputs, and no closing caption of the desktop", async () => {
  const run = await clickWith({
    "in.txt": new FakeFile(goldenFile("in.txt")),
    "Symbols.txt": new FakeFile(goldenFile("Symbols.txt")),
  });
  assert.strictEqual(run.error, undefined);
  assert.strictEqual(run.ended, 0);
  assert.strictEqual(run.outputs["FixedLines.txt"], goldenFile("FixedLines.txt"));
  assert.strictEqual(run.outputs["BadLines.txt"], goldenFile("BadLines.txt"));
  assert.deepStrictEqual(run.captions, []);
});

test("lines across the page's reads and output chunks are whole", async () => {
  // Legal lines ended by CR LF, by a lone CR or by LF, placed so that line
  // ends fall on each side of every 1 MiB read; one bad line among them.
  const lines = [];
  let size = 0;
  let count = 0;
  const ends = ["\r\n", "\r", "\n"];
  while (size < 3 * MiB + 10) {
    const line = count === 150000 ? "p x a" : "p a".padEnd(3 + (count % 7), " t").trimEnd();
    const end = ends[count % 3];
    lines.push(line + end);
    size += line.length + end.length;
    count += 1;
  }
  const text = lines.join("");
  const run = await clickWith({ "in.txt": new FakeFile(text), "Symbols.txt": new FakeFile("p\r\na\r\nt\r\n") });
  assert.strictEqual(run.ended, 0);
  const expectedFixed = lines.map((line) => line.replace(/[\r\n]+$/, "").replace("p x a", "p a") + "\r\n");
  assert.strictEqual(run.outputs["FixedLines.txt"], expectedFixed.join(""));
  assert.strictEqual(run.outputs["BadLines.txt"], "150001\tp x a\tBad symbol removed\tx\r\n");
  assert.strictEqual(run.captions.length, Math.floor(count / 1000));
  assert.strictEqual(run.captions[0], "Done with 1000 lines...");
});

test("what the page cannot give or take ends the run with the program's own message", async (t) => {
  const symbols = () => new FakeFile("p\r\n");
  const cases = [
    {
      what: "a missing Symbols.txt",
      inputs: { "in.txt": new FakeFile("p\r\n") },
      message: "Run-time error '53':\n\nFile not found: words/Symbols.txt",
    },
    {
      what: "an in.txt the browser cannot read past 1 MiB",
      inputs: { "in.txt": new FakeFile("p\r\n".repeat(MiB), MiB), "Symbols.txt": symbols() },
      message: "Run-time error '57':\n\nDevice I/O error: words/in.txt (The file could not be read.)",
    },
    {
      what: "Symbols.txt that is a folder",
      inputs: {
        "in.txt": new FakeFile("p\r\n"),
        "Symbols.txt": { error: "TypeMismatchError", reason: "not a file" },
      },
      message: "Run-time error '75':\n\nPath/File access error: words/Symbols.txt is a folder, not a file",
    },
    {
      what: "a BadLines.txt the browser may not write",
      inputs: { "in.txt": new FakeFile("p\r\n"), "Symbols.txt": symbols() },
      refused: { name: "BadLines.txt", error: "NotAllowedError", reason: "denied" },
      message: "Run-time error '70':\n\nPermission denied: words/BadLines.txt (denied)",
    },
  ];
  for (const c of cases) {
    await t.test(c.what, async () => {
      const run = await clickWith(c.inputs, c.refused);
      assert.strictEqual(run.error, c.message);
      assert.strictEqual(run.ended, "stopped");
    });
  }
});
