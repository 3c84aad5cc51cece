// Whether this browser can run the program, asked before anything else: a
// browser that cannot is told so in words, with the versions that can.

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
