// The page's side of a run, in the order the page puts it together: its texts
// and files' names, what it needs of the browser (needs.js), what it shows
// (view.js), its outputs (outputs.js), the program's workers (workers.js), one
// run (run.js) and the button that starts it (button.js). The cleaning itself
// runs in a worker, from the program compiled to WebAssembly; nothing here
// knows its rules, and every text shown is the program's (the build writes
// them into the page).

// The files of a run, as the program names them.
const IN = "in.txt";
const SYMBOLS = "Symbols.txt";
const REPORT = "SymbolReport.txt";
// Optional: replacements made before the list is checked, each a symbol and
// what stands for it.
const REPLACEMENTS = "Replacements.txt";
const SUGGESTIONS = "SuggestedReplacements.txt";
const TEXTS = JSON.parse(document.getElementById("Texts").textContent);

// A text of TEXTS with its {names} filled in from `values`.
const fill = (text, values) => text.replace(/\{(\w+)\}/g, (_, name) => values[name]);
