// What the web page's tests and its benchmark share: starting Debian's Chromium
// and Firefox ESR through puppeteer-core, a server for the page on 127.0.0.1,
// folders of the origin-private file system standing in for a picked folder,
// the two ways to the files, and the checks' bookkeeping.
//
// A browser that cannot start ends the test with exit code 77 (ctest: skipped)
// and says why; with CI=true it is a failure instead, since CI's machine has both.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

let puppeteer;
try {
  ({default: puppeteer} = await import('puppeteer-core'));
} catch (error) {
  console.log(`FAILED: puppeteer-core is not installed beside ${import.meta.url}: make deps installs it ` +
    `(npm ci in tests/web). ${error.message.split('\n')[0]}`);
  process.exit(1);
}

export const CHROMIUM = process.env.FIX_CHROMIUM || '/usr/bin/chromium';
export const FIREFOX = process.env.FIX_FIREFOX || '/usr/bin/firefox-esr';
export const SKIP = 77;

// Chromium on this closed network: without the background-networking flags it
// keeps trying hosts it cannot reach.
const CHROMIUM_ARGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const scratchDirs = [];
const browsers = [];
const servers = [];

export function scratch(prefix = 'fixinput-web-') {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  scratchDirs.push(dir);
  return dir;
}

export async function cleanup() {
  for (const browser of browsers.splice(0)) await browser.close().catch(() => {});
  for (const server of servers.splice(0)) server.close();
  for (const dir of scratchDirs.splice(0)) fs.rmSync(dir, {recursive: true, force: true});
}

export async function bail(code, message) {
  console.log(message);
  await cleanup();
  process.exit(code);
}

async function cannotStart(name, exe, error) {
  const why = `${name} (${exe}) cannot start here: ${String(error && error.message || error).split('\n')[0]}`;
  if (process.env.CI === 'true') await bail(1, `FAILED: ${why}; CI's machine has it, so this is a fault.`);
  await bail(SKIP, `SKIPPED: ${why}. Install it with make deps (Debian package ${name === 'Chromium' ? 'chromium' : 'firefox-esr'}).`);
}

// The page under test: the path given on the command line. A missing page is a
// failure, not a skip: make test builds it first.
export async function pagePath(arg) {
  if (!arg) await bail(2, 'usage: node TEST PAGE [...]');
  const page = path.resolve(arg);
  if (!fs.existsSync(page)) await bail(1, `FAILED: ${page} is missing: build it with make web`);
  return page;
}

export async function launchChromium() {
  if (!fs.existsSync(CHROMIUM)) await cannotStart('Chromium', CHROMIUM, 'not installed');
  try {
    const browser = await puppeteer.launch({
      executablePath: CHROMIUM, headless: true, userDataDir: scratch('fixinput-chromium-'),
      args: CHROMIUM_ARGS, timeout: 90_000, protocolTimeout: 600_000,
    });
    browsers.push(browser);
    return browser;
  } catch (error) {
    await cannotStart('Chromium', CHROMIUM, error);
  }
}

// Firefox saves downloads without asking, into a folder of its own
// (browser.fixDownloads): the DevTools way of setting that does not reach it.
export async function launchFirefox() {
  if (!fs.existsSync(FIREFOX)) await cannotStart('Firefox', FIREFOX, 'not installed');
  const downloads = scratch('fixinput-downloads-');
  try {
    const browser = await puppeteer.launch({
      browser: 'firefox', executablePath: FIREFOX, headless: true,
      userDataDir: scratch('fixinput-firefox-'), timeout: 90_000, protocolTimeout: 600_000,
      extraPrefsFirefox: {
        'browser.download.folderList': 2,
        'browser.download.dir': downloads,
        'browser.download.useDownloadDir': true,
        'browser.download.start_downloads_in_tmp_dir': false,
        'browser.download.always_ask_before_handling_new_types': false,
        'browser.download.manager.showWhenStarting': false,
        'browser.helperApps.neverAsk.saveToDisk': 'text/plain,application/octet-stream',
      },
    });
    browser.fixDownloads = downloads;
    browsers.push(browser);
    return browser;
  } catch (error) {
    await cannotStart('Firefox', FIREFOX, error);
  }
}

// Serves the one page at /FixInputFiles.html on 127.0.0.1 and answers 404 to
// anything else; every request is recorded, so a test can say what was asked for.
// `extra` adds files ({url path: file}) for a benchmark's helper pages and lists.
export async function servePage(file, extra = {}) {
  const routes = {'/FixInputFiles.html': file, ...extra};
  const requests = [];
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    const route = routes[request.url];
    if (request.method === 'GET' && route) {
      const type = route.endsWith('.html') ? 'text/html; charset=utf-8' : 'application/octet-stream';
      response.writeHead(200, {'Content-Type': type, 'Cache-Control': 'no-store'});
      fs.createReadStream(route).pipe(response);
    } else {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  servers.push(server);
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {origin, url: `${origin}/FixInputFiles.html`, requests};
}

// Every request the page makes that is not to a blob: or data: URL (those never
// leave the browser), and every load its own Content-Security-Policy refused
// (a refused load is no request, but a page that tries one is at fault).
// The lists grow as the page goes on. Call before goto().
export async function watchRequests(page) {
  const list = [];
  list.refused = [];
  list.errors = [];
  page.on('request', (request) => {
    const url = request.url();
    if (!url.startsWith('blob:') && !url.startsWith('data:')) list.push(url);
  });
  // Chromium reports a refusal on the console, Firefox as an error of the page.
  // Refused data: and blob: loads are let be: they would not have left the browser.
  const refusal = (text) => {
    if (/Content[- ]Security[- ]Policy/i.test(text) && !/(\bat|\bto) ['"]?(data|blob):/.test(text)) list.refused.push(text);
  };
  page.on('console', (message) => refusal(message.text()));
  page.on('pageerror', (error) => {
    list.errors.push(String(error && error.message || error));
    refusal(String(error && error.message || error));
  });
  return list;
}

// Checks that `requests` (from watchRequests) holds the page itself and nothing
// else (Firefox does not report the load of a file:// page).
export function checkOnlyItself(name, requests, url) {
  return check(`${name}: the page asks for nothing but itself, and tries nothing its policy refuses`,
    requests.length <= 1 && requests.every((request) => request === url) && requests.refused.length === 0,
    `requests: ${JSON.stringify(requests)}; refused: ${JSON.stringify(requests.refused)}; ` +
    `errors in the page: ${JSON.stringify(requests.errors)}`);
}

// A page whose folder picker answers with the folder `name` of the origin-private
// file system, as the user would pick it. Call before goto().
export async function answerPickerWithOpfs(page, name) {
  await page.evaluateOnNewDocument((folder) => {
    window.showDirectoryPicker = async () =>
      (await navigator.storage.getDirectory()).getDirectoryHandle(folder, {create: true});
  }, name);
}

// A Chromium page without the folder picker, so it takes the file way.
export async function withoutFolderPicker(page) {
  await page.evaluateOnNewDocument(() => {
    delete window.showDirectoryPicker;
    delete Window.prototype.showDirectoryPicker;
  });
}

const b64 = (bytes) => Buffer.from(bytes).toString('base64');

// Replaces the folder `name` of the origin-private file system by one holding
// `files` ({name: Buffer}).
export async function opfsFill(page, name, files) {
  const entries = Object.entries(files).map(([file, bytes]) => [file, b64(bytes)]);
  await page.evaluate(async (folder, entries) => {
    const root = await navigator.storage.getDirectory();
    await root.removeEntry(folder, {recursive: true}).catch(() => {});
    const dir = await root.getDirectoryHandle(folder, {create: true});
    for (const [file, data] of entries) {
      const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
      const writable = await (await dir.getFileHandle(file, {create: true})).createWritable();
      await writable.write(bytes);
      await writable.close();
    }
  }, name, entries);
}

// The files of the origin-private folder `name`, as {name: Buffer}; with
// `only`, every file is named but only those in `only` are read.
export async function opfsRead(page, name, only = null) {
  const entries = await page.evaluate(async (folder, only) => {
    const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle(folder);
    const out = [];
    for await (const [file, handle] of dir.entries()) {
      if (handle.kind !== 'file') continue;
      if (only && !only.includes(file)) {
        out.push([file, null]);
        continue;
      }
      const bytes = new Uint8Array(await (await handle.getFile()).arrayBuffer());
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      out.push([file, btoa(text)]);
    }
    return out;
  }, name, only);
  return Object.fromEntries(entries.map(([file, data]) => [file, data === null ? undefined : Buffer.from(data, 'base64')]));
}

// Records every caption the button shows from now on, in order, in
// window.__captions. Mutations are read from their records, so captions that
// follow one another within one task are all kept.
export async function recordCaptions(page) {
  await page.evaluate(() => {
    const button = document.getElementById('Command1');
    window.__captions = [];
    let last = button.textContent;
    new MutationObserver((records) => {
      for (const record of records) {
        let text;
        if (record.type === 'characterData') text = record.target.data;
        else if (record.addedNodes.length) text = [...record.addedNodes].map((n) => n.textContent).join('');
        else continue;
        if (text !== last) window.__captions.push(text);
        last = text;
      }
      if (button.textContent !== last) window.__captions.push((last = button.textContent));
    }).observe(button, {childList: true, characterData: true, subtree: true});
  });
}

export const captions = (page) => page.evaluate(() => window.__captions);

// State of the page: the caption and the alert's text.
export const pageState = (page) => page.evaluate(() => ({
  caption: document.getElementById('Command1').textContent.trim(),
  alert: (document.getElementById('RunError').textContent || '').trim(),
}));

// Waits until the run has ended: the alert has text or the caption begins with "Done.".
export async function waitForEnd(page, timeout = 300_000) {
  await page.waitForFunction(() => {
    const alert = document.getElementById('RunError');
    return (alert && alert.textContent.trim() !== '') ||
      document.getElementById('Command1').textContent.trim().startsWith('Done.');
  }, {timeout, polling: 50});
  return pageState(page);
}

// The folder way: a click, then the page works in the picked folder.
export async function runFolderWay(page, timeout) {
  await page.click('#Command1');
  return waitForEnd(page, timeout);
}

// The file way: a click opens the file chooser, which is answered with `files`.
export async function runFileWay(page, files, timeout) {
  const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 30_000}), page.click('#Command1')]);
  if (!chooser.isMultiple()) throw new Error('the file chooser does not take several files');
  await chooser.accept(files);
  return waitForEnd(page, timeout);
}

// Saves the download links the page holds after a run of the file way, as a
// user's click on each would, into a fresh folder, and returns what was saved
// there: {file name: Buffer}. The links must be blob: URLs (nothing leaves the
// browser). Chromium is told where to save over its DevTools protocol; Firefox
// saves into the folder its profile names (see launchFirefox).
export async function saveDownloadLinks(page, timeout = 120_000) {
  const links = await page.$$eval('a[download]', (as) => as.map((a) => [a.getAttribute('download'), a.href]));
  for (const [name, href] of links) {
    if (!href.startsWith('blob:')) throw new Error(`the link for ${name} is not a blob: URL: ${href.slice(0, 40)}`);
  }
  const browser = page.browser();
  let folder = browser.fixDownloads;
  if (folder) {
    for (const file of fs.readdirSync(folder)) fs.rmSync(path.join(folder, file), {recursive: true, force: true});
  } else {
    folder = scratch('fixinput-downloads-');
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: folder});
  }
  await page.$$eval('a[download]', (as) => as.forEach((a) => a.click()));
  // Saved: every name there, and no partial file (.crdownload, .part) beside them.
  const names = links.map(([name]) => name);
  const deadline = Date.now() + timeout;
  for (;;) {
    const present = fs.readdirSync(folder);
    if (names.every((name) => present.includes(name)) && !present.some((f) => /\.(crdownload|part)$/.test(f))) break;
    if (Date.now() > deadline) throw new Error(`downloads not saved after ${timeout} ms; the folder holds ${present.join(', ')}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  return Object.fromEntries(fs.readdirSync(folder).map((file) => [file, fs.readFileSync(path.join(folder, file))]));
}

// Bookkeeping: each check prints one line; finish() prints the count and exits.
let passed = 0;
let failed = 0;

export function check(name, ok, detail = '') {
  if (ok) {
    passed++;
    console.log(`ok    ${name}`);
  } else {
    failed++;
    console.log(`FAIL  ${name}${detail ? `\n      ${String(detail).replace(/\n/g, '\n      ')}` : ''}`);
  }
  return ok;
}

// Compares two files byte for byte, naming the first difference.
export function checkBytes(name, actual, expected) {
  if (actual === undefined) return check(name, false, 'the file is missing');
  if (Buffer.compare(actual, expected) === 0) return check(name, true);
  let at = 0;
  while (at < actual.length && at < expected.length && actual[at] === expected[at]) at++;
  const show = (b) => JSON.stringify(b.subarray(Math.max(0, at - 20), at + 20).toString('latin1'));
  return check(name, false, `${actual.length} bytes, expected ${expected.length}; first difference at byte ${at}:\n` +
    `got      ${show(actual)}\nexpected ${show(expected)}`);
}

// Runs `body` as one group of cases; an exception counts as a failed check.
export async function group(name, body) {
  try {
    await body();
  } catch (error) {
    check(name, false, error && error.stack || error);
  }
}

export async function finish() {
  await cleanup();
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 && passed > 0 ? 0 : 1);
}

process.on('unhandledRejection', async (error) => {
  console.log(`FAIL  unexpected: ${error && error.stack || error}`);
  await cleanup();
  process.exit(1);
});
