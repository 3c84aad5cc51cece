// The program and the workers that run it.

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
