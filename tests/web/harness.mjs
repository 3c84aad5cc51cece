// What the web page's tests and its benchmark share: Debian's Chromium and
// Firefox ESR started through puppeteer-core, a server for the page on
// 127.0.0.1, the two ways to the files, and the checks' bookkeeping.
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
  console.log(`FAILED: puppeteer-core is not installed in tests/web: make deps installs it. ${error.message.split('\n')[0]}`);
  process.exit(1);
}

const scratchDirs = [];
const browsers = [];
const servers = [];

export function scratch(prefix = 'fixinput-web-') {
  scratchDirs.push(fs.mkdtempSync(path.join(os.tmpdir(), prefix)));
  return scratchDirs.at(-1);
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

// Chromium on this closed network: without the background-networking flags it
// keeps trying hosts it cannot reach. Firefox saves downloads without asking,
// into a folder of its own (browser.fixDownloads): DevTools' way does not reach it.
// A browser started again on the `profile` of a killed one finds what it left.
export async function launch(name, profile = scratch(`fixinput-${name}-`)) {
  const firefox = name === 'firefox';
  const exe = firefox ? process.env.FIX_FIREFOX || '/usr/bin/firefox-esr' : process.env.FIX_CHROMIUM || '/usr/bin/chromium';
  const downloads = firefox && scratch('fixinput-downloads-');
  try {
    if (!fs.existsSync(exe)) throw new Error('not installed');
    const browser = await puppeteer.launch({
      browser: firefox ? 'firefox' : 'chrome', executablePath: exe, headless: true,
      userDataDir: profile, timeout: 90_000, protocolTimeout: 600_000,
      args: firefox ? [] : ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
      extraPrefsFirefox: {
        'browser.download.folderList': 2, 'browser.download.dir': downloads,
        'browser.download.useDownloadDir': true, 'browser.download.start_downloads_in_tmp_dir': false,
        'browser.download.always_ask_before_handling_new_types': false,
        'browser.helperApps.neverAsk.saveToDisk': 'text/plain,application/octet-stream',
      },
    });
    browser.fixDownloads = downloads;
    browsers.push(browser);
    return browser;
  } catch (error) {
    const why = `${exe} cannot start here: ${String(error && error.message || error).split('\n')[0]}`;
    if (process.env.CI === 'true') await bail(1, `FAILED: ${why}; CI's machine has it, so this is a fault.`);
    await bail(77, `SKIPPED: ${why}. Install it with make deps (Debian package ${firefox ? 'firefox-esr' : 'chromium'}).`);
  }
}
export const launchChromium = () => launch('chromium');

// Serves the one page at /FixInputFiles.html on 127.0.0.1 and answers 404 to
// anything else; every request is recorded. `extra` adds files ({url path: file}).
export async function servePage(file, extra = {}) {
  const routes = {'/FixInputFiles.html': file, ...extra};
  const requests = [];
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    const route = request.method === 'GET' && routes[request.url];
    if (!route) return response.writeHead(404).end();
    response.writeHead(200, {'Content-Type': route.endsWith('.html') ? 'text/html; charset=utf-8' : 'application/octet-stream',
      'Cache-Control': 'no-store'});
    fs.createReadStream(route).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  servers.push(server);
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {origin, url: `${origin}/FixInputFiles.html`, requests};
}

// Before goto(): the folder picker answers with the folder `name` of the
// origin-private file system, whose handles are those of a picked folder.
export const answerPickerWithOpfs = (page, name) => page.evaluateOnNewDocument(async (folder) => {
  window.showDirectoryPicker = async () => (await navigator.storage.getDirectory()).getDirectoryHandle(folder, {create: true});
}, name);

// Before goto(): a Chromium page without the folder picker, so it takes the file way.
export const withoutFolderPicker = (page) => page.evaluateOnNewDocument(() => {
  delete window.showDirectoryPicker;
  delete Window.prototype.showDirectoryPicker;
});

// Waits until the run has ended (the alert has text or the caption begins with
// "Done."); the caption, the alert, and the captions shown since the click
// when the page records them (see the test's open()).
export async function waitForEnd(page, timeout = 300_000) {
  await page.waitForFunction(() => document.getElementById('RunError').textContent.trim() !== '' ||
    document.getElementById('Command1').textContent.trim().startsWith('Done.'), {timeout, polling: 50});
  return page.evaluate(() => ({caption: document.getElementById('Command1').textContent.trim(),
    alert: document.getElementById('RunError').textContent.trim(), captions: window.__captions}));
}

async function clicked(page) {
  await page.evaluate(() => { window.__captions &&= []; });
  await page.click('#Command1');
}

export async function runFolderWay(page, timeout) {
  await clicked(page);
  return waitForEnd(page, timeout);
}

// The file way: a click opens the file chooser (for several files), answered with `files`.
export async function runFileWay(page, files, timeout) {
  const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 30_000}), clicked(page)]);
  if (!chooser.isMultiple()) throw new Error('the file chooser does not take several files');
  await chooser.accept(files);
  return waitForEnd(page, timeout);
}

// Saves the page's download links, as a user's click on each would, into a
// fresh folder, and returns what was saved: {file name: Buffer}. The links
// must be blob: URLs. Chromium is told where to save over DevTools; Firefox
// saves into the folder of its profile (see launch).
export async function saveDownloadLinks(page, timeout = 120_000) {
  const links = await page.$$eval('a[download]', (as) => as.map((a) => [a.getAttribute('download'), a.href]));
  const notBlob = links.find(([, href]) => !href.startsWith('blob:'));
  if (notBlob) throw new Error(`the link for ${notBlob[0]} is not a blob: URL: ${notBlob[1].slice(0, 40)}`);
  let folder = page.browser().fixDownloads;
  if (folder) {
    for (const file of fs.readdirSync(folder)) fs.rmSync(path.join(folder, file), {recursive: true, force: true});
  } else {
    folder = scratch('fixinput-downloads-');
    await (await page.createCDPSession()).send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: folder});
  }
  await page.$$eval('a[download]', (as) => as.forEach((a) => a.click()));
  // Saved: every name there, and no partial file (.crdownload, .part) beside them.
  for (const deadline = Date.now() + timeout; ; await new Promise((resolve) => setTimeout(resolve, 50))) {
    const present = fs.readdirSync(folder);
    if (links.every(([name]) => present.includes(name)) && !present.some((f) => /\.(crdownload|part)$/.test(f))) break;
    if (Date.now() > deadline) throw new Error(`downloads not saved after ${timeout} ms; the folder holds ${present.join(', ')}`);
  }
  return Object.fromEntries(fs.readdirSync(folder).map((file) => [file, fs.readFileSync(path.join(folder, file))]));
}

// Bookkeeping: each check prints one line; finish() prints the count and exits.
let passed = 0;
let failed = 0;

export function check(name, ok, detail = '') {
  ok ? passed++ : failed++;
  console.log(ok ? `ok    ${name}` : `FAIL  ${name}${detail ? `\n      ${String(detail).replace(/\n/g, '\n      ')}` : ''}`);
  return ok;
}

// Compares two files byte for byte, naming the first difference.
export function checkBytes(name, actual, expected) {
  if (!actual) return check(name, false, 'the file is missing');
  let at = 0;
  while (at < actual.length && at < expected.length && actual[at] === expected[at]) at++;
  const show = (b) => JSON.stringify(b.subarray(Math.max(0, at - 20), at + 20).toString('latin1'));
  return check(name, actual.equals(expected), `${actual.length} bytes, expected ${expected.length}; first difference ` +
    `at byte ${at}:\ngot      ${show(actual)}\nexpected ${show(expected)}`);
}

// Runs `body` as one group of cases; an exception counts as a failed check.
export async function group(name, body) {
  await body().catch((error) => check(name, false, error && error.stack || error));
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
