// The web page's side of the benchmarks: the cleaning run in headless Chromium,
// timed in the page from the click to the closing caption, beside the native
// run (clean_folder) on the same list; then a 200 MB list through the page.
// Usage: node bench/web.mjs PAGE CLEAN_FOLDER FOLDER_1M FOLDER_200MB
// (each folder holds in.txt and Symbols.txt). bench/run calls it.
//
// With --against, two builds' pages are timed in turns on one list instead,
// and the times come out as one line of JSON for bench/run's table:
// node bench/web.mjs --against PAGE EARLIER_PAGE FOLDER RUNS
import {spawnSync} from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';

import * as h from '../tests/web/harness.mjs';

const REPEATS = 3;

// A blank page of the same origin as the page under test, from which the
// lists are copied into the origin-private file system: the page itself
// may fetch nothing.
const filler = path.join(h.scratch('fixinput-bench-'), 'fill.html');
fs.writeFileSync(filler, '<!doctype html><title>fill</title>');

// The server's routes to the filler and to the lists of `folders` ({name: folder}).
function listRoutes(folders) {
  const routes = {'/fill.html': filler};
  for (const [name, folder] of Object.entries(folders)) {
    for (const file of ['in.txt', 'Symbols.txt']) routes[`/data/${name}/${file}`] = path.join(folder, file);
  }
  return routes;
}

const sha256 = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');

function nativeRun(driver, folder) {
  const start = process.hrtime.bigint();
  const run = spawnSync(driver, [folder], {encoding: 'utf8'});
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  if (run.status !== 0) throw new Error(`clean_folder failed: ${run.stderr}`);
  return seconds;
}

const browser = await h.launchChromium();

// Copies the list `name` into the origin-private folder of the same name, in
// the origin of `server`.
async function fill(server, name) {
  const page = await browser.newPage();
  await page.goto(`${server.origin}/fill.html`);
  await page.evaluate(async (name) => {
    const root = await navigator.storage.getDirectory();
    await root.removeEntry(name, {recursive: true}).catch(() => {});
    const dir = await root.getDirectoryHandle(name, {create: true});
    for (const file of ['in.txt', 'Symbols.txt']) {
      const response = await fetch(`/data/${name}/${file}`);
      await response.body.pipeTo(await (await dir.getFileHandle(file, {create: true})).createWritable());
    }
  }, name);
  await page.close();
}

// Counts the page's progress captions and notes the times of the click and of
// the closing caption, in the page's own clock, for every run from now on.
async function instrument(page) {
  await page.evaluate(() => {
    const button = document.getElementById('Command1');
    addEventListener('click', () => { window.__run.click = performance.now(); }, true);
    // Each caption the page sets is a text node added to the button.
    new MutationObserver((records) => records.forEach((record) => record.addedNodes.forEach((node) => {
      const caption = node.textContent.trim();
      if (caption.startsWith('Done with ')) window.__run.captions++;
      if (caption.startsWith('Done.') && !window.__run.done) window.__run.done = performance.now();
    }))).observe(button, {childList: true});
  });
}

// One run in the page: seconds from the click to the closing caption, and the
// number of progress captions shown.
async function pageRun(page, timeout) {
  await page.evaluate(() => { window.__run = {captions: 0}; });
  const end = await h.runFolderWay(page, timeout);
  if (end.alert !== '') throw new Error(`the page's run failed: ${end.alert}`);
  const run = await page.evaluate(() => window.__run);
  await page.click('#Command1');
  return {seconds: (run.done - run.click) / 1000, captions: run.captions};
}

async function pageDigests(page, name) {
  return page.evaluate(async (name) => {
    const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle(name);
    const out = {};
    for (const file of ['FixedLines.txt', 'BadLines.txt']) {
      const blob = await (await dir.getFileHandle(file)).getFile();
      const digest = await crypto.subtle.digest('SHA-256', await blob.arrayBuffer());
      out[file] = [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, '0')).join('');
    }
    return out;
  }, name);
}

// The browser's own floor: what the page does with in.txt of the folder
// `name`, less the cleaning. A worker reads it in the page's slices (1, 2,
// 4... MiB, at most 16) and posts it in the page's 1 MiB chunks, which are
// written through a writable stream into a new file of the same folder.
async function browserFloor(server, name) {
  const page = await browser.newPage();
  await page.goto(`${server.origin}/fill.html`);
  const seconds = await page.evaluate(async (name) => {
    const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle(name);
    const source = `onmessage = (event) => {
      const file = event.data;
      for (let at = 0, slice = 1 << 20; at < file.size; slice = Math.min(2 * slice, 16 << 20)) {
        const part = new Uint8Array(new FileReaderSync().readAsArrayBuffer(file.slice(at, at + slice)));
        at += part.length;
        for (let from = 0; from < part.length; from += 1 << 20) {
          const chunk = part.slice(from, from + (1 << 20));
          postMessage(chunk.buffer, [chunk.buffer]);
        }
      }
      postMessage(null);
    };`;
    const worker = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
    await new Promise((resolve) => setTimeout(resolve, 100));
    const start = performance.now();
    const file = await (await dir.getFileHandle('in.txt')).getFile();
    const writable = await (await dir.getFileHandle('copy.txt', {create: true})).createWritable();
    await new Promise((resolve) => {
      worker.onmessage = (event) => (event.data === null ? resolve() : writable.write(event.data));
      worker.postMessage(file);
    });
    await writable.close();
    const seconds = (performance.now() - start) / 1000;
    worker.terminate();
    await dir.removeEntry('copy.txt');
    return seconds;
  }, name);
  await page.close();
  return seconds;
}

async function appPage(server, name) {
  const page = await browser.newPage();
  await h.answerPickerWithOpfs(page, name);
  await page.goto(server.url, {waitUntil: 'load'});
  await instrument(page);
  return page;
}

const same = (digests, folder) =>
  ['FixedLines.txt', 'BadLines.txt'].every((file) => digests[file] === sha256(path.join(folder, file)));

// The page beside the native run on the 1,000,000-line list, then the 200 MB
// list through the page; whether the page gave the native files each time.
async function benchmark(pagePath, driver, millionFolder, bigFolder) {
  const server = await h.servePage(pagePath, listRoutes({million: millionFolder, big: bigFolder}));
  let ok = true;
  await fill(server, 'million');
  const page = await appPage(server, 'million');
  let web = Infinity;
  let native = Infinity;
  let captions = 0;
  let floor = Infinity;
  // Alternating, so all three meet the machine in the same state.
  for (let i = 0; i < REPEATS; i++) {
    native = Math.min(native, nativeRun(driver, millionFolder));
    floor = Math.min(floor, await browserFloor(server, 'million'));
    const run = await pageRun(page, 600_000);
    web = Math.min(web, run.seconds);
    captions = run.captions;
  }
  // The file way from file://, as in Firefox: the outputs stay in the page as
  // links; the time includes answering the file chooser over the DevTools protocol.
  const filePage = await browser.newPage();
  await h.withoutFolderPicker(filePage);
  await filePage.goto(pathToFileURL(pagePath).href, {waitUntil: 'load'});
  await instrument(filePage);
  let fileWay = Infinity;
  for (let i = 0; i < REPEATS; i++) {
    await filePage.evaluate(() => { window.__run = {captions: 0}; });
    const end = await h.runFileWay(filePage, ['in.txt', 'Symbols.txt'].map((f) => path.join(millionFolder, f)), 600_000);
    if (end.alert !== '') throw new Error(`the page's run failed: ${end.alert}`);
    const run = await filePage.evaluate(() => window.__run);
    fileWay = Math.min(fileWay, (run.done - run.click) / 1000);
    await filePage.click('#Command1');
  }
  await filePage.close();

  const match = same(await pageDigests(page, 'million'), millionFolder);
  ok &&= match;
  console.log(`  the page gives the native program's output files: ${match ? 'yes' : 'NO'}`);
  console.log(`  page, folder way, click to closing caption ${web.toFixed(3)}   native run ${native.toFixed(3)}` +
    `   (best of ${REPEATS}, seconds)`);
  console.log(`  progress captions shown: ${captions}`);
  console.log(`  page / native = ${(web / native).toFixed(2)}   (target <= 3)`);
  console.log(`  the page's reads and writes alone, without the cleaning: ${floor.toFixed(3)}   floor / native = ` +
    `${(floor / native).toFixed(2)}   page / floor = ${(web / floor).toFixed(2)}`);
  console.log(`  page, file way, click to closing caption ${fileWay.toFixed(3)}   file way / native = ` +
    `${(fileWay / native).toFixed(2)}`);
  await page.close();

  const size = fs.statSync(path.join(bigFolder, 'in.txt')).size;
  await fill(server, 'big');
  const bigPage = await appPage(server, 'big');
  let run;
  let error = '';
  try {
    run = await pageRun(bigPage, 1_800_000);
  } catch (e) {
    error = e.message.split('\n')[0];
  }
  if (run) {
    nativeRun(driver, bigFolder);
    const bigMatch = same(await pageDigests(bigPage, 'big'), bigFolder);
    ok &&= bigMatch;
    console.log(`  a ${(size / 1e6).toFixed(0)} MB list completes in the page: yes, in ${run.seconds.toFixed(1)} s, ` +
      `output files as native: ${bigMatch ? 'yes' : 'NO'}`);
    console.log('  (the page\'s WebAssembly memory is capped under 64 MiB when it is built, so completing is the proof)');
  } else {
    ok = false;
    console.log(`  a ${(size / 1e6).toFixed(0)} MB list completes in the page: NO (${error})`);
  }
  await bigPage.close();
  return ok;
}

// Two builds' pages, each from an origin of its own so that each has its own
// copy of the list, timed in turns (current, earlier, current...) so that a
// change in the machine's load falls on both alike. Prints, as JSON, every
// run's seconds from the click to the closing caption for each page, and
// whether the two pages wrote the same bytes.
async function comparePages(currentPage, earlierPage, folder, runs) {
  const sides = [];
  for (const [label, pagePath] of [['current', currentPage], ['earlier', earlierPage]]) {
    const server = await h.servePage(pagePath, listRoutes({list: folder}));
    await fill(server, 'list');
    sides.push({label, page: await appPage(server, 'list'), seconds: []});
  }
  // A click on a page behind another tab never comes back: each page is brought to the front for its run.
  const run = async (side) => {
    await side.page.bringToFront();
    return (await pageRun(side.page, 600_000)).seconds;
  };
  // One run each first, untimed: the browser compiles the module's code then.
  for (const side of sides) await run(side);
  for (let i = 0; i < runs; i++) {
    for (const side of sides) side.seconds.push(await run(side));
  }
  const [current, earlier] = await Promise.all(sides.map((side) => pageDigests(side.page, 'list')));
  const result = Object.fromEntries(sides.map((side) => [side.label, side.seconds]));
  result.same = ['FixedLines.txt', 'BadLines.txt'].every((file) => current[file] === earlier[file]);
  console.log(JSON.stringify(result));
  return true;
}

const args = process.argv.slice(2);
const ok = args[0] === '--against'
  ? await comparePages(args[1], args[2], args[3], Number(args[4]))
  : await benchmark(...args);
await h.cleanup();
process.exit(ok ? 0 : 1);
