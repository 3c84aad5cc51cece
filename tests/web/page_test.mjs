// The page end to end in headless Chromium or Firefox ESR, and in WebKit's
// MiniBrowser. In all three, the file way from file://: the file chooser, then
// the saved download links (in WebKit, the bytes each link offers), and the
// errors before a run. In Chromium also the folder way, its picker answered
// with a folder of the origin-private file system of the page served from
// 127.0.0.1, and the failures that must leave that folder as it was. Each way
// cleans the golden files and random lists, whose outputs must be the native
// program's, byte for byte; and the page asks for nothing but itself.
// Usage: node page_test.mjs chromium|firefox|webkit PAGE GOLDEN_DIR CLEAN_FOLDER
import {spawnSync} from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import zlib from 'node:zlib';

import * as h from './harness.mjs';

const [browserName, pageArg, goldenDir, cleanFolder] = process.argv.slice(2);
const pagePath = path.resolve(pageArg || '');
for (const [file, make] of [[pagePath, 'make web'], [cleanFolder, 'make build']]) {
  if (!file || !fs.existsSync(file)) await h.bail(1, `FAILED: ${file} is missing: build it with ${make}`);
}
const golden = (name) => fs.readFileSync(path.join(goldenDir, name));
const MiB = 1 << 20;
const same = (a, b) => Boolean(a && b && a.equals(b));
const OUTPUTS = ['FixedLines.txt', 'BadLines.txt', 'SymbolReport.txt'];
// The fourth output: written only when the report suggests a replacement.
const SUGGESTIONS = 'SuggestedReplacements.txt';

// What the native program writes for `inputs` ({name: Buffer}): each file it adds.
function native(what, inputs) {
  const dir = h.scratch('fixinput-native-');
  for (const [name, bytes] of Object.entries(inputs)) fs.writeFileSync(path.join(dir, name), bytes);
  const run = spawnSync(cleanFolder, [dir], {encoding: 'latin1'});
  if (run.status !== 0) throw new Error(`clean_folder on ${what}: ${run.stderr}`);
  return Object.fromEntries(fs.readdirSync(dir).filter((name) => !(name in inputs))
    .map((name) => [name, fs.readFileSync(path.join(dir, name))]));
}

// Random lists, from a seeded generator so that a failing one can be made
// again. Texts are byte strings (latin1), so that a length is a size.
let seed = 11;
const random = () => {
  seed = (seed + 0x6d2b79f5) >>> 0;
  let t = Math.imul(seed ^ (seed >>> 15), seed | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
};
const upTo = (n) => Math.floor(random() * n);
const pick = (list) => list[upTo(list.length)];
const utf8 = (text) => Buffer.from(text, 'utf8').toString('latin1');
const LEGAL = ['p', 'a', 't', 's', 'AA1', 'ʃ', 'tʃ', 'ŋ', 'ə', 'é', 'x́', 'k'.repeat(300)].map(utf8);
const ILLEGAL = ['x', 'P', 'AA3', 'ʃʃ', 'p\ta', '\t', 'a\u00a0', '\u00a0', '\x01', 'ǃ', 'tʃʃ', 'kk'].map(utf8)
  .concat(['\xff\xfe', '\xc3', '\xe2\x82']);
const ENDS = ['\r\n', '\r\n', '\n', '\r'];
const spaces = (most) => ' '.repeat(random() < 0.1 ? 1 + upTo(most) : 0);

// A line of every kind the cleaner meets; tokens of 200 to 90,000 bytes at the rate `long`.
function line(long) {
  const roll = random();
  if (roll < 0.08) return ' '.repeat(roll < 0.05 ? 0 : 1 + upTo(6));
  const tokens = Array.from({length: 1 + upTo(12)}, () => random() < long ? pick('kq').repeat(200 + upTo(90_000))
    : pick(random() < 0.85 ? LEGAL : ILLEGAL));
  return spaces(4) + tokens.map((token, at) => (at ? ' ' + spaces(4) : '') + token).join('') + spaces(4);
}

// `count` lines, each with an end, after `first`. Each of `edges` ([offset, end])
// puts that end on the last byte before the offset, a read's edge, by padding a line.
function list(count, {first = '', long = 0, edges = []} = {}) {
  let text = (random() < 0.5 ? '\xef\xbb\xbf' : '') + first;
  for (let i = 0; i < count; i++) {
    const next = line(long);
    let end = pick(ENDS);
    if (next === '' && end === '\n' && text.endsWith('\r')) end = '\r\n'; // not one CR LF of two lines
    const [edge, edgeEnd] = edges[0] || [Infinity];
    if (text.length + next.length + 2 < edge - 1) text += next + end;
    else text += 'p' + ' '.repeat(edge - 2 - text.length) + edges.shift()[1];
  }
  if (edges.length) throw new Error('the list ends before its last edge');
  return text;
}

// Each list with the outputs it must give: the golden ones, or the native program's.
const lists = [{name: 'the golden files', in: golden('in.txt'), symbols: golden('Symbols.txt'), progress: 0,
  expected: Object.fromEntries(OUTPUTS.map((name) => [name, golden(name)]))}];
for (const [name, text, progress] of [
  ['an empty list', '', 0],
  ['blank lines only', '\r\n  \r\n\n\r\r\n\r\n', 0],
  ['20,001 random lines with long tokens, the last without its end', list(20_000, {long: 0.0005}) + ' p a', 20],
  // The page reads the list in slices of 1, 2, 4... MiB: 3 MiB is the edge of a slice as well as of a read.
  ['a line of 1.5 MB, more than one read, then 150,000 random lines with CR ending one read and CR LF split by a slice',
    list(150_000, {first: 'p ' + 'q'.repeat(1_500_000) + ' a  ' + 'k'.repeat(300) + ' ' + 'k'.repeat(301) + '\n',
      edges: [[2 * MiB, '\r'], [3 * MiB, '\r\n']]}), 150],
]) {
  const symbols = Buffer.from([...LEGAL, '', 'a', utf8('ŋ ')].map((symbol) => symbol + pick(ENDS)).join(''), 'latin1');
  let expected;
  try {
    expected = native(name, {'in.txt': Buffer.from(text, 'latin1'), 'Symbols.txt': symbols});
  } catch (error) {
    await h.bail(1, `FAILED: ${error.message}`);
  }
  lists.push({name, in: Buffer.from(text, 'latin1'), symbols, progress, expected});
}

const browser = browserName === 'webkit' ? await h.launchWebKit() : await h.launch(browserName);
const state = (page) => page.evaluate(() => ({caption: document.getElementById('Command1').textContent.trim(),
  alert: document.getElementById('RunError').textContent.trim(), shown: document.getElementById('RunError').checkVisibility()}));

// A page at `url`, with every request it makes that stays not in the browser
// (blob:, data:) and every load its policy refuses (Chromium says so on the
// console, Firefox as an error of the page); from the load on, its button's
// captions, each one as the page set it, in window.__captions, and what it
// tells assistive technology beside the button's text (its name while busy,
// the status) in window.__told.
async function open(way, url, setup) {
  const page = await browser.newPage();
  await setup?.(page);
  const requests = [];
  const refused = (text) => /Content[- ]Security[- ]Policy/i.test(text) && !/(\bat|\bto) ['"]?(data|blob):/.test(text) &&
    requests.push(`refused: ${text}`);
  page.on('request', (request) => /^(blob|data):/.test(request.url()) || requests.push(request.url()));
  page.on('console', (message) => refused(message.text()));
  page.on('pageerror', (error) => refused(String(error && error.message || error)));
  await page.goto(url, {waitUntil: 'load'});
  const shape = await page.evaluate(() => {
    const button = document.getElementById('Command1');
    window.__captions = [];
    new MutationObserver((records) => records.forEach((record) => record.addedNodes.forEach((node) =>
      window.__captions.push(node.textContent.trim())))).observe(button, {childList: true});
    window.__told = [];
    const status = document.getElementById('RunStatus');
    new MutationObserver((records) => records.forEach((record) => {
      if (record.type === 'attributes') window.__told.push(`name: ${button.getAttribute('aria-label')}`);
      else if (record.target === status) window.__told.push(`status: ${status.textContent}`);
    })).observe(document.body, {subtree: true, attributeFilter: ['aria-label'], childList: true});
    return {title: document.title, headings: [...document.querySelectorAll('h1,h2,h3')].map((e) => e.textContent.trim()),
      buttons: [...document.querySelectorAll('button')].filter((button) => button.checkVisibility()).length, focused: document.activeElement === button,
      version: document.getElementById('Version')?.textContent, role: document.getElementById('RunError').getAttribute('role'),
      csp: [...document.querySelectorAll('meta[http-equiv="Content-Security-Policy" i]')].map((m) => m.content)};
  });
  const title = 'Fix input files for the Quorlen';
  const {caption: instructions, alert, shown} = await state(page);
  h.check(`${way}: the title, one button with the focus, a version, a hidden alert, a policy that lets it connect nowhere`,
    shape.title === title && shape.headings.includes(title) && shape.buttons === 1 && shape.focused && /\d/.test(shape.version) &&
    shape.role === 'alert' && alert === '' && !shown && shape.csp.length === 1 &&
    /(default|connect)-src[^;]*'none'/.test(shape.csp[0]) && !/connect-src[^;]*(http|\*|'self')/.test(shape.csp[0]),
  JSON.stringify(shape));
  const onlyItself = (served = []) => h.check(`${way}: the page asks for nothing but itself, and tries nothing its policy refuses`,
    requests.length <= 1 && requests.every((request) => request === url) && served.every((u) => u === '/FixInputFiles.html'),
    JSON.stringify({requests, served}));
  return {page, instructions, onlyItself};
}

// One run of `list` that must succeed: "Done.", after a progress caption every
// 1000 lines, with one name for the button and the status told at start and
// end; `files`, from the folder or the downloads, are the expected outputs and
// `inputs`, and nothing else; a click then shows the instructions.
const TOLD = ['name: Cleaning in.txt.', 'status: Cleaning in.txt.', 'name: null', 'status: The run has ended.'];
async function checkRun(way, page, instructions, list, end, files, inputs = {}) {
  const name = `${way}, ${list.name}`;
  const progress = Array.from({length: list.progress}, (_, i) => `Done with ${(i + 1) * 1000} lines...`);
  h.check(`${name}: "Done.", after a progress caption every 1000 lines; assistive technology told once of start and end`,
    end.alert === '' && end.caption.startsWith('Done.') && JSON.stringify(end.told) === JSON.stringify(TOLD) &&
    JSON.stringify(end.captions) === JSON.stringify([...progress, end.caption]),
  JSON.stringify({...end, captions: `${end.captions.length}: ${end.captions.slice(0, 2)} ... ${end.captions.slice(-2)}`}));
  const expected = {...inputs, ...list.expected};
  h.check(`${name}: the outputs and nothing else`, Object.keys(files).sort().join() === Object.keys(expected).sort().join() &&
    Object.keys(inputs).every((file) => same(files[file], inputs[file])), Object.keys(files).join());
  for (const file of Object.keys(list.expected)) h.checkBytes(`${name}: ${file}`, files[file], expected[file]);
  // The report's table: its headings, then a row for each of its most removed symbols.
  const records = expected['SymbolReport.txt'].toString('utf8').split('\r\n');
  const header = records.findIndex((record) => record.startsWith('Symbol\t'));
  const rows = records.slice(header + 1, records.indexOf('', header));
  const findings = records.slice(0, header).filter(Boolean).map((record) => record.split('\t')[5]);
  const shown = await page.evaluate(() => ({hidden: document.getElementById('Report').hidden,
    findings: [...document.querySelectorAll('#ReportFindings p')].map((p) => p.textContent),
    headings: [...document.querySelectorAll('#ReportTable thead th[scope="col"]')].map((th) => th.textContent),
    rows: [...document.querySelectorAll('#ReportTable tbody tr')].map((tr) =>
      [...tr.cells].map((cell) => cell.textContent).join('\t'))}));
  const plain = (record) => record.replace(/<(U\+[0-9A-F]{4,6}|0x[0-9A-F]{2})>/g, '$1');
  h.check(`${name}: the report's table, its headings and its first rows as in SymbolReport.txt`,
    !shown.hidden && shown.headings.join('\t') === records[header] &&
    JSON.stringify(shown.findings) === JSON.stringify(findings) &&
    JSON.stringify(shown.rows) === JSON.stringify(rows.slice(0, 50).map(plain)), JSON.stringify(shown).slice(0, 400));
  await page.click('#Command1');
  const back = await state(page);
  h.check(`${name}: a click then shows the instructions`, back.caption === instructions && back.alert === '', JSON.stringify(back));
}

// A list whose report suggests three replacements: g by ɡ, which looks the
// same, and P by p and Q by q, another case. Its Replacements.txt has a BOM,
// a header and a last record without its line end; it replaces a: first.
const SUGGESTING = {'in.txt': Buffer.from('g a:\r\np a\r\ng t\r\na: p g\r\nP a Q\r\nq g\r\n'),
  'Symbols.txt': Buffer.from('ɡ\r\nː\r\na\r\np\r\nt\r\nq\r\n')};
const EARLIER_REPLACEMENTS = Buffer.from('\ufeffSymbol\tReplace with\r\na:\ta ː');

// The report's suggestions: each check box's name, and the record it adds to Replacements.txt.
const suggested = (report) => report.toString('utf8').split('\r\n').map((record) => record.split('\t'))
  .filter((fields) => fields.length === 7 && fields[0] !== 'Symbol' && fields[6] !== '')
  .map((fields) => ({name: `Replace ${fields[0]} with ${fields[6]}`, record: `${fields[0]}\t${fields[6]}\r\n`}));

// The run again's button, what describes it, and the report's check boxes.
const runAgainShown = (page) => page.evaluate(() => {
  const button = document.getElementById('RunAgainButton');
  return {shown: button.checkVisibility(), caption: button.textContent, disabled: button.getAttribute('aria-disabled'),
    why: document.getElementById(button.getAttribute('aria-describedby'))?.textContent ?? '',
    boxes: [...document.querySelectorAll('#ReportTable tbody input')].map((box) => ({name: box.getAttribute('aria-label'),
      type: box.type, reachable: box.tabIndex === 0 && !box.disabled && box.checkVisibility(), checked: box.checked}))};
});

// From a run of `inputs` that has ended in `end`: a named check box for each
// suggestion, and the button, which does nothing while none is checked; then,
// by Tab, the space bar and Enter, the first two suggestions taken, then the
// last. Each run has the files the native program writes with the
// Replacements.txt made for it, which the page saves too, and the last no
// SuggestedReplacements.txt. `saved` gives the files saved; in the folder
// (`folderWay`) the inputs are among them.
async function checkRunsAgain(way, page, end, inputs, saved, folderWay) {
  let expected = native(way, inputs);
  const checkSaved = async (name, end, made = {}) => {
    h.check(`${name}: "Done.", assistive technology told once of start and end`, end.alert === '' &&
      end.caption.startsWith('Done.') && JSON.stringify(end.told) === JSON.stringify(TOLD), JSON.stringify(end));
    const [files, wanted] = [await saved(), {...(folderWay && inputs), ...expected, ...made}];
    h.check(`${name}: the native program's files and nothing else`, Object.keys(files).sort().join() ===
      Object.keys(wanted).sort().join(), `${Object.keys(files)}; expected ${Object.keys(wanted)}`);
    for (const file of Object.keys(wanted)) h.checkBytes(`${name}: ${file}`, files[file], wanted[file]);
  };
  await checkSaved(`${way}, suggestions`, end);
  const suggestions = suggested(expected['SymbolReport.txt']);
  let shown = await runAgainShown(page);
  h.check(`${way}, suggestions: a check box for each, named by its replacement, reachable; the button, saying why it ` +
    'does nothing yet, and a click on it starts no run', suggestions.length === 3 && shown.shown &&
    shown.caption === 'Run again with the checked replacements' && shown.disabled === 'true' && /check/i.test(shown.why) &&
    shown.boxes.map((box) => box.name).join() === suggestions.map(({name}) => name).join() &&
    shown.boxes.every((box) => box.type === 'checkbox' && box.reachable && !box.checked) &&
    await page.click('#RunAgainButton').then(() => new Promise((resolve) => setTimeout(resolve, 300))).then(() =>
      page.evaluate(() => !document.getElementById('Report').hidden && document.getElementById('Command1').textContent.startsWith('Done.'))),
  JSON.stringify({suggestions, shown}));

  let replacements = inputs['Replacements.txt'] ? Buffer.concat([inputs['Replacements.txt'], Buffer.from('\r\n')]) : Buffer.alloc(0);
  for (const [what, take] of [['the first two taken', suggestions.slice(0, 2)], ['then the last', suggestions.slice(2)]]) {
    const name = `${way}, ${what}`;
    // Tab from the page's button to the run again's, with the space bar on each box to take.
    await page.evaluate(() => document.getElementById('Command1').focus());
    const focused = [];
    for (let tabs = 0; tabs < 30 && focused.at(-1) !== 'RunAgainButton'; tabs++) {
      await page.keyboard.press('Tab');
      focused.push(await page.evaluate(() => document.activeElement.id || document.activeElement.getAttribute('aria-label')));
      if (take.some((box) => box.name === focused.at(-1))) await page.keyboard.press(' ');
    }
    shown = await runAgainShown(page);
    h.check(`${name}: the check boxes by Tab, then the button, which now says what it does`,
      shown.boxes.every((box) => focused.includes(box.name)) && focused.at(-1) === 'RunAgainButton' &&
      shown.disabled === 'false' && /Replacements\.txt/.test(shown.why) &&
      shown.boxes.filter((box) => box.checked).map((box) => box.name).join() === take.map((box) => box.name).join(),
    JSON.stringify({focused, shown}));
    await page.evaluate(() => {
      window.__captions = [];
      window.__told = [];
    });
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => window.__captions.some((caption) => caption.startsWith('Done.')) ||
      document.getElementById('RunError').textContent.trim() !== '', {timeout: 120_000, polling: 50});
    const again = await h.waitForEnd(page);
    const focus = await page.evaluate(() => document.activeElement.id);
    h.check(`${name}: the focus on the page's button, the run again's gone`, focus === 'Command1', focus);
    replacements = Buffer.concat([replacements, ...take.map((box) => Buffer.from(box.record))]);
    inputs = {...inputs, 'Replacements.txt': replacements};
    expected = native(name, inputs);
    await checkSaved(name, again, {'Replacements.txt': replacements});
  }
  h.check(`${way}, none left: no SuggestedReplacements.txt, nor a button to run again`,
    !(SUGGESTIONS in expected) && !(await runAgainShown(page)).shown);
}

await h.group('file way', async () => {
  const way = `${browserName}, file way`;
  const {page, instructions, onlyItself} = await open(way, pathToFileURL(pagePath).href,
    browserName === 'chromium' ? h.withoutFolderPicker : undefined);
  // A Replacements.txt dropped with the two is used; then its suggestions taken
  // (first: in Firefox a saved download takes the focus from the page).
  {
    const inputs = {...SUGGESTING, 'Replacements.txt': EARLIER_REPLACEMENTS};
    const end = await h.runDrop(page, inputs);
    await checkRunsAgain(`${way}, dropped with Replacements.txt`, page, end, inputs, () => h.linkedFiles(page), false);
    await page.click('#Command1');
  }
  // Files chosen one by one have no folder the page can name: the program's paths start at '.'.
  for (const [what, number, file, inputs] of [
    ['only in.txt picked', 53, './Symbols.txt', {'in.txt': golden('in.txt')}],
    ['a UTF-16 in.txt', 54, './in.txt', {'in.txt': Buffer.from('\ufeffp a\r\n', 'utf16le'), 'Symbols.txt': golden('Symbols.txt')}],
  ]) {
    const dir = h.scratch('fixinput-chosen-');
    for (const [name, bytes] of Object.entries(inputs)) fs.writeFileSync(path.join(dir, name), bytes);
    const end = await h.runFileWay(page, Object.keys(inputs).map((name) => path.join(dir, name)));
    h.check(`${way}, ${what}: the alert gives ${number} and names ${file}`, new RegExp(`\\b${number}\\b`).test(end.alert) &&
      end.alert.includes(file) && !end.caption.startsWith('Done.'), JSON.stringify(end));
    await page.click('#Command1');
  }
  for (const list of lists) {
    const dir = h.scratch('fixinput-chosen-');
    fs.writeFileSync(path.join(dir, 'in.txt'), list.in);
    fs.writeFileSync(path.join(dir, 'Symbols.txt'), list.symbols);
    const end = await h.runFileWay(page, [path.join(dir, 'Symbols.txt'), path.join(dir, 'in.txt')]);
    await checkRun(way, page, instructions, list, end, end.alert ? {} : await h.saveDownloadLinks(page));
  }
  // The golden files dropped on the page: the same run as the button's.
  {
    const [golden] = lists;
    const end = await h.runDrop(page, {'in.txt': golden.in, 'Symbols.txt': golden.symbols});
    await checkRun(`${way}, dropped`, page, instructions, golden, end, end.alert ? {} : await h.saveDownloadLinks(page));
  }
  // WebDriver shows no requests: the other two browsers check this.
  if (browserName !== 'webkit') onlyItself();
  await page.close();
});

// At 200% and 400% zoom of a 1280 x 720 window, with WCAG 1.4.12's text
// spacing: nothing sticks out of the page's width (but the report's table, in
// a region that scrolls on its own, as WCAG allows a data table) or out of
// the button, and
// what a run shows is in view; the next click takes the save links away.
const SPACING = '* { line-height: 1.5 !important; letter-spacing: 0.12em !important; word-spacing: 0.16em !important; } ' +
  'p { margin-bottom: 2em !important; }';
const misfits = (page, shown) => page.evaluate((shown) => {
  const beyond = (r, box) => r.left < box.left - 0.5 || r.right > box.right + 0.5 ||
    r.top < box.top - 0.5 || r.bottom > box.bottom + 0.5;
  const width = {left: 0, right: document.documentElement.clientWidth, top: -Infinity, bottom: Infinity};
  const [button, caption] = [document.getElementById('Command1'), document.createRange()];
  caption.selectNodeContents(button);
  const inView = (e) => e.getBoundingClientRect().top >= 0 && e.getBoundingClientRect().top < innerHeight;
  // The report's table may be wider than the page: its region scrolls on its own.
  const scrolled = (e) => e.parentElement.closest('.report-table');
  return [...document.body.querySelectorAll(':not(.visually-hidden)')]
    .filter((e) => e.checkVisibility() && !scrolled(e) && beyond(e.getBoundingClientRect(), width))
    .map((e) => e.id || e.tagName)
    .concat(beyond(caption.getBoundingClientRect(), button.getBoundingClientRect()) ? ['the caption'] : [])
    .concat(document.querySelector(shown) && [...document.querySelectorAll(shown)].every(inView) ? [] : [`${shown} in view`]);
}, shown);

// The window's size and scripts run before the page's own are puppeteer's, not WebDriver's.
const puppeteer = browserName !== 'webkit';
if (puppeteer) await h.group('reflow', async () => {
  for (const [width, height] of [[640, 360], [320, 180]]) {
    const way = `${browserName}, ${width} px wide with wider text spacing`;
    const {page, instructions} = await open(way, pathToFileURL(pagePath).href, async (page) => {
      await page.setViewport({width, height});
      if (browserName === 'chromium') await h.withoutFolderPicker(page);
    });
    await page.addStyleTag({content: SPACING});
    let out = await misfits(page, '#Command1');
    h.check(`${way}, the instructions: nothing cut off`, out.length === 0, out);
    const failed = await h.runFileWay(page, [path.join(goldenDir, 'in.txt')]);
    out = await misfits(page, '#RunError');
    h.check(`${way}, an error: nothing cut off, the error in view`, /\b53\b/.test(failed.alert) && out.length === 0, out);
    await page.click('#Command1');
    const done = await h.runFileWay(page, ['in.txt', 'Symbols.txt'].map((file) => path.join(goldenDir, file)));
    out = await misfits(page, '#Downloads a');
    h.check(`${way}, done: nothing cut off, the save links in view`,
      done.caption.startsWith('Done.') && (await page.$$('#Downloads a')).length === OUTPUTS.length && out.length === 0, out);
    // A report with suggestions: their button in view once it has the focus.
    const dir = h.scratch('fixinput-chosen-');
    for (const [name, bytes] of Object.entries(SUGGESTING)) fs.writeFileSync(path.join(dir, name), bytes);
    await page.click('#Command1');
    const suggesting = await h.runFileWay(page, Object.keys(SUGGESTING).map((name) => path.join(dir, name)));
    await page.evaluate(() => document.getElementById('RunAgainButton').focus());
    out = await misfits(page, '#RunAgainButton');
    h.check(`${way}, suggestions: nothing cut off, the button to run again in view`,
      suggesting.caption.startsWith('Done.') && out.length === 0, out);
    await page.click('#Command1');
    const after = await page.evaluate(() => [document.getElementById('Command1').textContent,
      document.querySelectorAll('a').length]);
    h.check(`${way}, the next click: the instructions, the save links gone`, after[0] === instructions && after[1] === 0, after);
    await page.close();
  }
});

// A crash of the program is told in words, then its technical text smaller;
// a browser without what the build needs is told so before the click. Both
// name the browsers README.md and README.txt name.
const versions = (text) => [...(text.match(/\bChrome\s+\d[^]*?\.(?=\s|$)/) || [''])[0]
  .matchAll(/\b(Chrome|Edge|Firefox|Safari|iOS)\s+(\d+(?:\.\d+)?)/g)].map(([, name, number]) => `${name} ${number}`)
  .sort().join();
const [working, released] = ['../../README.md', '../../release/README.txt']
  .map((file) => versions(fs.readFileSync(new URL(file, import.meta.url), 'utf8')));

if (puppeteer) await h.group('browser checks', async () => {
  for (const [what, worker] of [
    ['the worker reports a crash', "self.onmessage = () => self.postMessage({type: 'ended', status: -1, " +
      "failure: 'RangeError: Maximum call stack size exceeded.', memory: 0});"],
    ['the worker fails', "self.onmessage = () => { throw new RangeError('Maximum call stack size exceeded.'); };"],
  ]) {
    const way = `${browserName}, ${what}`;
    const {page} = await open(way, pathToFileURL(pagePath).href, async (page) => {
      await page.evaluateOnNewDocument((worker) => {
        const Real = window.Worker;
        window.Worker = function () { return new Real(URL.createObjectURL(new Blob([worker], {type: 'text/javascript'}))); };
      }, worker);
      if (browserName === 'chromium') await h.withoutFolderPicker(page);
    });
    const end = await h.runFileWay(page, ['in.txt', 'Symbols.txt'].map((file) => path.join(goldenDir, file)));
    const [told = [], technical = []] = await page.$$eval('#RunError p',
      (ps) => ps.map((p) => [p.textContent, parseFloat(getComputedStyle(p).fontSize)]));
    h.check(`${way}: said in words, with the browsers that work, then the technical text smaller`,
      [end.caption, told[0]].every((text) => /stopped unexpectedly[^]*Nothing was saved/.test(text)) &&
      versions(told[0]) === working && released === working && /Maximum call stack/.test(technical[0]) && technical[1] < told[1],
    JSON.stringify({end, told, technical, working, released}));
    await page.close();
  }

  // Every feature reported missing, each probe kept; without workers, nor the
  // blobs they start from, nor the stream that unpacks the program.
  const {page} = await open(`${browserName}, no WebAssembly features, no workers`, pathToFileURL(pagePath).href,
    (page) => page.evaluateOnNewDocument(() => {
      window.__probes = [];
      WebAssembly.validate = (bytes) => window.__probes.push([...bytes]) && false;
      delete window.Worker;
      delete window.Blob;
      delete window.DecompressionStream;
    }));
  const chooser = page.waitForFileChooser({timeout: 2000}).then(() => 'a file chooser', () => 'nothing');
  await page.click('#Command1');
  const [{caption}, probes, opened] = [await state(page), await page.evaluate(() => window.__probes), await chooser];
  h.check(`${browserName}, no WebAssembly features, no workers: the button says which, names the browsers that work; ` +
    'a click opens nothing', /cannot run[^]*web workers[^]*SIMD[^]*DecompressionStream/.test(caption) && versions(caption) === working && opened === 'nothing',
    JSON.stringify({caption, opened}));
  // What the module and each probe need: the features wabt's wasm-validate cannot do without.
  const needs = (bytes) => {
    const file = path.join(h.scratch('fixinput-wasm-'), 'probe.wasm');
    fs.writeFileSync(file, bytes);
    // wabt leaves exceptions out unless asked, and takes the other features in unless told.
    const without = (feature) => (feature === 'exceptions' ? [] :
      ['--enable-exceptions'].concat(feature ? `--disable-${feature}` : []));
    const valid = (feature) => spawnSync('wasm-validate', [...without(feature), file]).status === 0;
    if (!valid()) throw new Error(`wasm-validate (Debian's wabt) refuses ${bytes.length} bytes or is missing`);
    return ['exceptions', 'simd', 'sign-extension', 'bulk-memory', 'mutable-globals', 'multi-value', 'saturating-float-to-int',
      'reference-types'].filter((feature) => !valid(feature)).join();
  };
  const pageText = fs.readFileSync(pagePath, 'latin1');
  h.check(`the page, with the program in it, is under 1 MB (${pageText.length} bytes)`, pageText.length < 1e6);
  const [, base64] = pageText.match(/id="Program">\s*([A-Za-z0-9+/=]{100,})/);
  const module = zlib.gunzipSync(Buffer.from(base64, 'base64'));
  const probed = probes.map((bytes) => needs(Buffer.from(bytes))).sort();
  h.check(`${browserName}: the page asks one by one for the WebAssembly features the module uses, and no other`,
    probed.every((one) => one && !one.includes(',')) && probed.join() === needs(module).split(',').sort().join(),
  `the page asks for [${probed.join('] [')}]; the module needs ${needs(module)}`);
  await page.close();
});

// The folder way: the origin-private folder 'words' made anew with `files`
// ({name: Buffer}, null for a folder), and read back; files not in `only`
// (when given) are named but not read.
const fill = (page, files) => page.evaluate(async (entries) => {
  const root = await navigator.storage.getDirectory();
  await root.removeEntry('words', {recursive: true}).catch(() => {});
  const dir = await root.getDirectoryHandle('words', {create: true});
  for (const [name, data] of entries) {
    if (data === null) {
      await dir.getDirectoryHandle(name, {create: true});
      continue;
    }
    const writable = await (await dir.getFileHandle(name, {create: true})).createWritable();
    await writable.write(Uint8Array.from(atob(data), (c) => c.charCodeAt(0)));
    await writable.close();
  }
}, Object.entries(files).map(([name, bytes]) => [name, bytes && bytes.toString('base64')]));
const folder = async (page, only) => Object.fromEntries(Object.entries(await page.evaluate(async (only) => {
  const out = {};
  for await (const [name, handle] of (await (await navigator.storage.getDirectory()).getDirectoryHandle('words')).entries()) {
    out[name] = null;
    if (handle.kind !== 'file' || (only && !only.includes(name))) continue;
    let file;
    try {
      file = await handle.getFile();
    } catch (e) {
      // A closed tab's swap file, which the browser removes while the folder is listed.
      if (e.name !== 'NotFoundError') throw e;
      delete out[name];
      continue;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    out[name] = btoa(text);
  }
  return out;
}, only)).map(([name, data]) => [name, data === null ? null : Buffer.from(data, 'base64')]));

if (browserName === 'chromium') await h.group('folder way', async () => {
  const server = await h.servePage(pagePath);
  // The runs of the program the page starts, each a job posted to a worker.
  const {page, instructions, onlyItself} = await open('chromium, folder way', server.url, async (p) => {
    await h.answerPickerWithOpfs(p, 'words');
    await p.evaluateOnNewDocument(() => {
      const post = Worker.prototype.postMessage;
      window.__runs = 0;
      Worker.prototype.postMessage = function (message, ...rest) {
        if (message && 'folder' in message) window.__runs++;
        return post.call(this, message, ...rest);
      };
    });
  });
  const runs = () => page.evaluate(() => { const made = window.__runs; window.__runs = 0; return made; });
  const symbols = golden('Symbols.txt');
  const earlier = {'FixedLines.txt': Buffer.from('p a\r\nan earlier run\r\n'), 'BadLines.txt': Buffer.from('3\tp x\tBad symbol removed\tx\r\n'),
    'SymbolReport.txt': Buffer.from('Symbol\tCode points\r\nan earlier report\r\n')};
  const cdp = await page.createCDPSession();
  // Failures before and during the run: the number, then a description naming
  // the file in the chosen folder.
  for (const [what, number, file, words, inputs] of [
    ['a missing Symbols.txt', 53, /words\/Symbols\.txt/, /not found/i, {'in.txt': golden('in.txt')}],
    ['a folder named Symbols.txt', 75, /words\/Symbols\.txt/, /folder/i, {'in.txt': golden('in.txt'), 'Symbols.txt': null}],
    ['a UTF-16 in.txt', 54, /words\/in\.txt/, /UTF-16/,
      {'in.txt': Buffer.from('\ufeffp a\r\nx\r\n', 'utf16le'), 'Symbols.txt': symbols}],
    // 5.7 MB to clean, with room for 1 MB more: the disk fills up while the outputs are written.
    ['a disk that fills up', 61, /words\/(FixedLines|BadLines|SymbolReport)\.txt/, /disk full/i,
      {'in.txt': Buffer.from('p a t p a t p a t\r\n'.repeat(300_000)), 'Symbols.txt': symbols}],
    // in.txt is made in the page for these two.
    // A line of 70 MB, more than the page's memory.
    ['a line of 70 MB', 7, /./, /out of memory/i, {'Symbols.txt': symbols}],
    // 24 MB of lines, cut short on the disk at the first progress caption:
    // the browser refuses to read the rest of the file it was given.
    ['an in.txt cut short while it is read', 57, /words\/in\.txt/, /I\/O error/i, {'Symbols.txt': symbols}],
  ]) {
    await fill(page, {...inputs, ...earlier});
    if (number === 7 || number === 57) {
      await page.evaluate(async (size, text, end, change) => {
        const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('words');
        const writable = await (await dir.getFileHandle('in.txt', {create: true})).createWritable();
        const chunk = new TextEncoder().encode(text.repeat((1 << 20) / text.length));
        for (let at = 0; at < size; at += chunk.length) await writable.write(chunk);
        await writable.write(new TextEncoder().encode(end));
        await writable.close();
        if (!change) return;
        const button = document.getElementById('Command1');
        const observer = new MutationObserver(async () => {
          if (!button.textContent.startsWith('Done with ')) return;
          observer.disconnect();
          const changing = await (await dir.getFileHandle('in.txt')).createWritable();
          await changing.write('q');
          await changing.close();
        });
        observer.observe(button, {childList: true});
      }, ...(number === 7 ? [70 * MiB, 'p ', 'x\r\np a\r\n', false] : [24 * MiB, 'p a t\r\n', '', true]));
    }
    if (number === 61) {
      const {usage} = await page.evaluate(() => navigator.storage.estimate());
      await cdp.send('Storage.overrideQuotaForOrigin', {origin: server.origin, quotaSize: usage + 1_000_000});
    }
    const end = await h.runFolderWay(page);
    if (number === 61) await cdp.send('Storage.overrideQuotaForOrigin', {origin: server.origin});
    const [first, ...rest] = end.alert.split('\n').map((text) => text.trim()).filter((text) => text !== '');
    h.check(`folder way, ${what}: the alert gives ${number}, then a description naming the file, from one run`,
      await runs() === 1 && new RegExp(`\\b${number}\\b`).test(first) && file.test(rest.join(' ')) && words.test(rest.join(' ')) &&
      !end.caption.startsWith('Done.'), JSON.stringify(end));
    const before = {...inputs, ...earlier, ...((number === 7 || number === 57) && {'in.txt': null})};
    const now = await folder(page, Object.keys(before).filter((name) => before[name]));
    h.check(`folder way, ${what}: the folder as it was, the earlier outputs byte for byte`,
      Object.keys(now).sort().join() === Object.keys(before).sort().join() &&
      Object.entries(before).every(([name, bytes]) => (bytes === null ? now[name] === null : same(bytes, now[name]))),
    `the folder holds ${Object.keys(now)}; changed: ${Object.keys(before).filter((f) => before[f] && !same(before[f], now[f]))}`);
    await page.click('#Command1');
    const back = await state(page);
    h.check(`folder way, ${what}: a click hides the alert and shows the instructions`,
      back.caption === instructions && back.alert === '' && !back.shown, JSON.stringify(back));
  }

  // A line of 24 MiB, its tokens between doubled spaces and one in six not in
  // the inventory, made in the page: it is cleaned within the page's memory,
  // to the native program's outputs (compared by their SHA-256).
  {
    const part = 'p  ts  x  a  ŋ  t  ';
    const lineSize = 24 * MiB;
    const after = 'a\r\np\r\n';
    const unit = Buffer.from(part, 'utf8');
    const line = Buffer.alloc(lineSize);
    for (let at = 0; at < lineSize; at += unit.length) unit.copy(line, at, 0, Math.min(unit.length, lineSize - at));
    const dir = h.scratch('fixinput-native-');
    fs.writeFileSync(path.join(dir, 'in.txt'), Buffer.concat([line, Buffer.from(after)]));
    fs.writeFileSync(path.join(dir, 'Symbols.txt'), symbols);
    const run = spawnSync(cleanFolder, [dir], {encoding: 'latin1'});
    if (run.status !== 0) await h.bail(1, `FAILED: clean_folder on the line of 24 MiB: ${run.stderr}`);
    const sha256 = (file) => crypto.createHash('sha256').update(fs.readFileSync(path.join(dir, file))).digest('hex');
    const expected = OUTPUTS.map(sha256);
    await fill(page, {'Symbols.txt': symbols, ...earlier});
    await page.evaluate(async (part, lineSize, after) => {
      const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('words');
      const writable = await (await dir.getFileHandle('in.txt', {create: true})).createWritable();
      const unit = new TextEncoder().encode(part);
      const line = new Uint8Array(lineSize);
      for (let at = 0; at < lineSize; at += unit.length) line.set(unit.subarray(0, Math.min(unit.length, lineSize - at)), at);
      await writable.write(line);
      await writable.write(new TextEncoder().encode(after));
      await writable.close();
    }, part, lineSize, after);
    const end = await h.runFolderWay(page);
    const hashes = await page.evaluate(async (names) => {
      const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('words');
      const hex = async (name) => [...new Uint8Array(await crypto.subtle.digest('SHA-256',
        await (await (await dir.getFileHandle(name)).getFile()).arrayBuffer()))].map((b) => b.toString(16).padStart(2, '0')).join('');
      return Promise.all(names.map(hex));
    }, OUTPUTS);
    h.check('folder way, a line of 24 MiB between doubled spaces: "Done.", and the native program\'s outputs',
      end.alert === '' && end.caption.startsWith('Done.') && hashes.join() === expected.join(), JSON.stringify({...end, hashes, expected}));
    await page.click('#Command1');
  }

  // The browser puts FixedLines.txt in place, then refuses BadLines.txt: the
  // caption says which file was replaced; BadLines.txt is the earlier one.
  {
    const [golden] = lists;
    await fill(page, {'in.txt': golden.in, 'Symbols.txt': golden.symbols, ...earlier});
    await page.evaluate(() => {
      const move = FileSystemFileHandle.prototype.move;
      let calls = 0;
      FileSystemFileHandle.prototype.move = function (...args) {
        if (++calls < 2) return move.apply(this, args);
        FileSystemFileHandle.prototype.move = move;
        return Promise.reject(new DOMException('The file is in use.', 'NoModificationAllowedError'));
      };
    });
    await runs();
    const end = await h.runFolderWay(page);
    const now = await folder(page);
    h.check('folder way, BadLines.txt refused after FixedLines.txt was replaced: the alert from one run, a caption ' +
      'that says so, the new FixedLines.txt beside the earlier BadLines.txt',
    await runs() === 1 && /\b70\b/.test(end.alert) && /BadLines\.txt/.test(end.alert) && /FixedLines\.txt/.test(end.caption) &&
      !/Nothing was saved/.test(end.caption) &&
      Object.keys(now).sort().join() === 'BadLines.txt,FixedLines.txt,SymbolReport.txt,Symbols.txt,in.txt' &&
      same(now['FixedLines.txt'], golden.expected['FixedLines.txt']) && same(now['BadLines.txt'], earlier['BadLines.txt']) &&
      same(now['SymbolReport.txt'], earlier['SymbolReport.txt']),
    JSON.stringify({...end, files: Object.keys(now)}));
    await page.click('#Command1');
  }

  // The picker fails once with the DOMException `name`, when the button is clicked.
  const pickerFails = async (name, message) => {
    await page.evaluate((name, message) => {
      const picker = window.showDirectoryPicker;
      window.showDirectoryPicker = async () => {
        window.showDirectoryPicker = picker;
        throw new DOMException(message, name);
      };
    }, name, message);
    await page.click('#Command1');
  };

  // The user closes the picker: the instructions and no message; the lists below then run.
  await pickerFails('AbortError', 'The user aborted a request.');
  await new Promise((resolve) => setTimeout(resolve, 500));
  const cancelled = await state(page);
  h.check('folder way, a cancelled picker: the instructions and no message',
    cancelled.caption === instructions && cancelled.alert === '' && !cancelled.shown, JSON.stringify(cancelled));

  // The browser refuses the folder: the program words the error.
  await pickerFails('NotAllowedError', 'The request is not allowed.');
  await page.waitForFunction(() => document.getElementById('RunError').textContent !== '');
  const refusedFolder = await state(page);
  h.check('folder way, a folder the browser refuses: error 70 naming it, worded by the program',
    /Run-time error '70'/.test(refusedFolder.alert) && /the folder you chose/.test(refusedFolder.alert),
    JSON.stringify(refusedFolder));
  await page.click('#Command1');

  // Earlier outputs in the folder, replaced whole.
  for (const list of lists) {
    const inputs = {'in.txt': list.in, 'Symbols.txt': list.symbols};
    await fill(page, {...inputs, ...earlier});
    const end = await h.runFolderWay(page);
    await checkRun('folder way', page, instructions, list, end, await folder(page), inputs);
  }
  // The folder dropped on the page: written to as the chosen folder.
  {
    const [golden] = lists;
    const inputs = {'in.txt': golden.in, 'Symbols.txt': golden.symbols};
    await fill(page, {...inputs, ...earlier});
    const end = await h.runDrop(page, {}, {folder: 'words'});
    await checkRun('folder way, the folder dropped', page, instructions, golden, end, await folder(page), inputs);
  }
  // Suggestions taken in the folder. A run again that fails leaves the folder
  // as it was, without the Replacements.txt it made; one that succeeds puts it there.
  {
    const stale = Buffer.from('Symbol\tReplace with\tNote\tTimes removed\r\nan earlier suggestion\r\n');
    await fill(page, {...SUGGESTING, [SUGGESTIONS]: stale});
    await h.runFolderWay(page);
    const before = await folder(page);
    const setList = (bytes) => page.evaluate(async (base64) => {
      const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('words');
      const writable = await (await dir.getFileHandle('in.txt')).createWritable();
      await writable.write(Uint8Array.from(atob(base64), (c) => c.charCodeAt(0)));
      await writable.close();
    }, bytes.toString('base64'));
    const utf16 = Buffer.from('\ufeffg a\r\n', 'utf16le');
    await setList(utf16);
    await page.click('#ReportTable tbody input');
    await runs();
    await page.click('#RunAgainButton');
    await page.waitForFunction(() => document.getElementById('RunError').textContent.trim() !== '', {timeout: 120_000});
    const failed = await state(page);
    const now = await folder(page);
    h.check('folder way, a run again that fails: the alert from one run; the folder as it was, no Replacements.txt',
      await runs() === 1 && /\b54\b/.test(failed.alert) && Object.keys(now).sort().join() === Object.keys(before).sort().join() &&
      same(now['in.txt'], utf16) && Object.keys(before).every((name) => name === 'in.txt' || same(now[name], before[name])) &&
      !same(before[SUGGESTIONS], stale), JSON.stringify({...failed, files: Object.keys(now)}));
    await page.click('#Command1');
    await setList(SUGGESTING['in.txt']);
    await checkRunsAgain('folder way', page, await h.runFolderWay(page), SUGGESTING, () => folder(page), true);
    await page.click('#Command1');
  }
  onlyItself(server.requests);
  await page.close();
});

// Runs cut while they write the outputs, by a closed tab or a killed browser
// (started again on its profile), with and without earlier outputs: no output
// where there was none, earlier ones byte for byte; the next run removes what
// the cut left, but not the temporaries of a run of another tab that waits to
// put its outputs in place, which then finishes whole.
if (browserName === 'chromium') await h.group('cut runs', async () => {
  const server = await h.servePage(pagePath);
  const profile = h.scratch('fixinput-chromium-');
  let browser = await h.launch('chromium', profile);
  const dir = h.scratch('fixinput-native-');
  fs.writeFileSync(path.join(dir, 'in.txt'), 'p a t\r\np x a\r\n'.repeat(600_000));
  fs.copyFileSync(path.join(goldenDir, 'Symbols.txt'), path.join(dir, 'Symbols.txt'));
  spawnSync(cleanFolder, [dir]);
  const read = (names) => Object.fromEntries(names.map((name) => [name, fs.readFileSync(path.join(dir, name))]));
  const [inputs, outputs] = [read(['in.txt', 'Symbols.txt']), read(OUTPUTS)];
  const earlier = {'FixedLines.txt': Buffer.from('p a\r\n'), 'BadLines.txt': Buffer.from('1\tp x\tBad symbol removed\tx\r\n'),
    'SymbolReport.txt': Buffer.from('Symbol\tCode points\r\n')};
  const opened = async () => {
    const page = await browser.newPage();
    await h.answerPickerWithOpfs(page, 'words');
    return page.goto(server.url).then(() => page);
  };
  const left = (files) => Object.keys(files).filter((name) => !(name in inputs) && !(name in outputs));
  const checkWhole = async (page, end, what, waiting = 0) => {
    const now = await folder(page);
    h.check(`${what}: "Done.", the outputs, ${waiting} temporaries of a waiting run and nothing else`, end.caption.startsWith('Done.') &&
      left(now).filter((name) => name.endsWith('.tmp')).length === waiting && left(now).length === waiting &&
      Object.keys(outputs).every((name) => same(now[name], outputs[name])), JSON.stringify({...end, files: Object.keys(now)}));
  };
  for (const [cut, before] of [['a closed tab', {}], ['a closed tab', earlier], ['a killed browser', {}], ['a killed browser', earlier]]) {
    const what = `${cut} ${before === earlier ? 'with' : 'without'} earlier outputs`;
    let page = await opened();
    await fill(page, {...inputs, ...before});
    await page.click('#Command1');
    await page.waitForFunction(() => /^Done with (\d+)/.exec(document.getElementById('Command1').textContent)?.[1] >= 100_000,
      {timeout: 120_000});
    if (cut === 'a closed tab') await page.close();
    else {
      const gone = new Promise((resolve) => browser.once('disconnected', resolve));
      browser.process().kill('SIGKILL');
      await gone.then(async () => { browser = await h.launch('chromium', profile); });
    }
    const now = await folder(page = await opened());
    h.check(`${what}: files of the run left, no output where there was none, the earlier ones byte for byte`, left(now).length > 0 &&
      Object.keys(outputs).every((name) => (before[name] ? same(now[name], before[name]) : !(name in now))), Object.keys(now).join());
    await checkWhole(page, await h.runFolderWay(page), `${what}, the next run`);
  }
  const waiting = await opened();
  await waiting.evaluate(() => {
    const move = FileSystemFileHandle.prototype.move;
    const moving = new Promise((resolve) => { window.go = resolve; });
    FileSystemFileHandle.prototype.move = function (...args) {
      window.waits = true;
      return moving.then(() => move.apply(this, args));
    };
  });
  await waiting.click('#Command1');
  await waiting.waitForFunction(() => window.waits, {timeout: 120_000, polling: 50});
  const next = await opened();
  await checkWhole(next, await h.runFolderWay(next), 'a run while another waits to put its outputs in place',
    OUTPUTS.length);
  await waiting.evaluate(() => window.go());
  await checkWhole(waiting, await h.waitForEnd(waiting), 'then the waiting run');
});

await h.finish();
