// What the web page's tests and its benchmark share: Debian's Chromium and
// Firefox ESR started through puppeteer-core, WebKit through WebKitWebDriver,
// a server for the page on 127.0.0.1, the two ways to the files, and the
// checks' bookkeeping. A browser that cannot start ends the test with exit
// code 77 (ctest: skipped) and says why; with CI=true it is a failure instead,
// since CI's machine has all three.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
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

// WebKit: MiniBrowser driven by WebKitWebDriver over W3C WebDriver, on an Xvfb
// display of its own. Its page offers what the tests use of puppeteer's; its
// file way gives the files to the page's file input, as its chooser would.
export async function launchWebKit() {
  const driver = process.env.FIX_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
  const miniBrowser = process.env.FIX_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
  const processes = [];
  const browser = {close: async () => processes.splice(0).reverse().forEach((child) => child.kill())};
  browsers.push(browser);
  process.on('exit', () => processes.forEach((child) => child.kill()));
  try {
    for (const exe of [driver, miniBrowser]) if (!fs.existsSync(exe)) throw new Error(`${exe} is not installed`);
    const xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
      {stdio: ['ignore', 'ignore', 'ignore', 'pipe']});
    processes.push(xvfb);
    const display = await new Promise((resolve, reject) => {
      xvfb.on('error', reject).on('exit', () => reject(new Error('Xvfb ended at its start')));
      xvfb.stdio[3].on('data', (data) => resolve(String(data).trim()));
    });
    const port = await new Promise((resolve) => {
      const probe = net.createServer().listen(0, '127.0.0.1', () => {
        const {port} = probe.address();
        probe.close(() => resolve(port));
      });
    });
    processes.push(spawn(driver, [`--port=${port}`], {stdio: 'ignore', env: {...process.env, DISPLAY: `:${display}`}}));
    const call = async (method, route, body) => {
      const response = await fetch(`http://127.0.0.1:${port}${route}`, {method, body: body && JSON.stringify(body),
        headers: {'Content-Type': 'application/json'}});
      const {value} = await response.json();
      if (value && value.error) throw new Error(`${value.error}: ${value.message}`);
      return value;
    };
    for (const deadline = Date.now() + 30_000; !(await call('GET', '/status').catch(() => null))?.ready;) {
      if (Date.now() > deadline) throw new Error(`${driver} did not answer on port ${port}`);
      await new Promise((resolve) => setTimeout(resolve, 200));
    }
    const {sessionId} = await call('POST', '/session', {capabilities: {alwaysMatch: {browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': {binary: miniBrowser, args: ['--automation']}}}});
    const session = (method, route, body) => call(method, `/session/${sessionId}${route}`, body);
    const element = async (selector) => Object.values(await session('POST', '/element', {using: 'css selector', value: selector}))[0];
    const page = {
      on() {},
      goto: (url) => session('POST', '/url', {url}),
      evaluate: (fn, ...args) => session('POST', '/execute/sync', {script: `return (${fn}).apply(null, arguments)`, args}),
      click: async (selector) => session('POST', `/element/${await element(selector)}/click`, {}),
      waitForFunction: async (fn, {timeout, polling}) => {
        for (const deadline = Date.now() + timeout; !(await page.evaluate(fn));) {
          if (Date.now() > deadline) throw new Error(`waited ${timeout} ms for ${fn}`);
          await new Promise((resolve) => setTimeout(resolve, polling));
        }
      },
      // W3C WebDriver's keys: Tab, Enter, or a character's.
      keyboard: {press: (key) => {
        const value = {Tab: '\uE004', Enter: '\uE007'}[key] ?? key;
        return session('POST', '/actions', {actions: [{type: 'key', id: 'keyboard',
          actions: [{type: 'keyDown', value}, {type: 'keyUp', value}]}]});
      }},
      chooseFiles: async (files) => session('POST', `/element/${await element('#FilePicker')}/value`, {text: files.join('\n')}),
      $$eval: (selector, fn) => page.evaluate(`(selector) => (${fn})([...document.querySelectorAll(selector)])`, selector),
      close: async () => {},
    };
    browser.newPage = async () => page;
    const closeProcesses = browser.close;
    browser.close = async () => {
      await session('DELETE', '').catch(() => {});
      await closeProcesses();
    };
    return browser;
  } catch (error) {
    const why = `WebKit cannot start here: ${String(error && error.message || error).split('\n')[0]}`;
    if (process.env.CI === 'true') await bail(1, `FAILED: ${why}; CI's machine has it, so this is a fault.`);
    await bail(77, `SKIPPED: ${why}. Install it with make deps (Debian packages webkit2gtk-driver, xvfb).`);
  }
}

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
// "Done."); the caption, the alert, and the captions shown and the words
// told to assistive technology since the click when the page records them
// (see the test's open()).
export async function waitForEnd(page, timeout = 300_000) {
  await page.waitForFunction(() => document.getElementById('RunError').textContent.trim() !== '' ||
    document.getElementById('Command1').textContent.trim().startsWith('Done.'), {timeout, polling: 50});
  return page.evaluate(() => ({caption: document.getElementById('Command1').textContent.trim(),
    alert: document.getElementById('RunError').textContent.trim(), captions: window.__captions, told: window.__told}));
}

async function clicked(page) {
  await page.evaluate(() => {
    window.__captions &&= [];
    window.__told &&= [];
  });
  await page.click('#Command1');
}

export async function runFolderWay(page, timeout) {
  await clicked(page);
  return waitForEnd(page, timeout);
}

// The file way: a click opens the file chooser (for several files), answered with `files`.
export async function runFileWay(page, files, timeout) {
  if (page.chooseFiles) {
    await clicked(page);
    await page.chooseFiles(files);
    return waitForEnd(page, timeout);
  }
  const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 30_000}), clicked(page)]);
  if (!chooser.isMultiple()) throw new Error('the file chooser does not take several files');
  await chooser.accept(files);
  return waitForEnd(page, timeout);
}

// Files dropped on the page, {name: Buffer}, as a drag from the desktop
// hands them over; `folder`, in Chromium: the name of a folder of the origin's
// private file system, dropped as a folder the page may write to, instead.
export async function runDrop(page, files, {folder, timeout} = {}) {
  await page.evaluate(() => {
    window.__captions &&= [];
    window.__told &&= [];
  });
  await page.evaluate((encoded, folder) => {
    const data = new DataTransfer();
    for (const [name, base64] of Object.entries(encoded)) {
      data.items.add(new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name));
    }
    if (folder) {
      // A drop of a folder: one item whose handle is the folder.
      const item = {kind: 'file', getAsFileSystemHandle: async () =>
        (await navigator.storage.getDirectory()).getDirectoryHandle(folder), webkitGetAsEntry: () => null};
      Object.defineProperty(data, 'items', {value: [item]});
      Object.defineProperty(data, 'types', {value: ['Files']});
    }
    document.querySelector('main').dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true, cancelable: true}));
  }, Object.fromEntries(Object.entries(files).map(([name, bytes]) => [name, bytes.toString('base64')])), folder);
  return waitForEnd(page, timeout);
}

// The bytes each of the page's download links offers, read in the page:
// {file name: Buffer}. (A saved download takes the focus from the page in
// Firefox, and then the space bar no longer checks a check box.)
export async function linkedFiles(page) {
  const links = await page.$$eval('a[download]', (as) => as.map((a) => [a.getAttribute('download'), a.href]));
  return Object.fromEntries(await Promise.all(links.map(async ([name, href]) => [name, Buffer.from(await page.evaluate(
    async (href) => {
      const bytes = new Uint8Array(await (await fetch(href)).arrayBuffer());
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return btoa(text);
    }, href), 'base64')])));
}

// Saves the page's download links, as a user's click on each would, into a
// fresh folder, and returns what was saved: {file name: Buffer}. The links
// must be blob: URLs. Chromium is told where to save over DevTools; Firefox
// saves into the folder of its profile (see launch).
export async function saveDownloadLinks(page, timeout = 120_000) {
  const links = await page.$$eval('a[download]', (as) => as.map((a) => [a.getAttribute('download'), a.href]));
  const notBlob = links.find(([, href]) => !href.startsWith('blob:'));
  if (notBlob) throw new Error(`the link for ${notBlob[0]} is not a blob: URL: ${notBlob[1].slice(0, 40)}`);
  // WebDriver has no say where a download goes: the bytes each link offers, read in the page.
  if (page.chooseFiles) return linkedFiles(page);
  let folder = page.browser().fixDownloads;
  if (folder) {
    for (const file of fs.readdirSync(folder)) fs.rmSync(path.join(folder, file), {recursive: true, force: true});
  } else {
    folder = scratch('fixinput-downloads-');
    await (await page.createCDPSession()).send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: folder});
  }
  // Each a click of its own once the one before is saved, as a user makes
  // them: a browser lets a page start only one download without a click, and
  // may drop one clicked while another starts.
  const saved = (names) => {
    const present = fs.readdirSync(folder);
    return names.every((name) => present.includes(name)) && !present.some((f) => /\.(crdownload|part)$/.test(f));
  };
  // A loaded machine's browser may drop a click without starting anything:
  // one that started nothing in 15 s is clicked again, as a user would.
  const deadline = Date.now() + timeout;
  for (const [i, link] of (await page.$$('a[download]')).entries()) {
    await link.click();
    let clicked = Date.now();
    while (!saved(links.slice(0, i + 1).map(([name]) => name))) {
      if (Date.now() > deadline) {
        throw new Error(`downloads not saved after ${timeout} ms; the folder holds ${fs.readdirSync(folder).join(', ')}`);
      }
      const started = fs.readdirSync(folder).some((f) => f === links[i][0] || /\.(crdownload|part)$/.test(f));
      if (!started && Date.now() - clicked > 15_000) {
        await link.click();
        clicked = Date.now();
      }
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
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
