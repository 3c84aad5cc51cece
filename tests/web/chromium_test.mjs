// The page in headless Chromium, end to end: the golden files through both
// ways to the files, the failures (before and during the run) that leave
// earlier outputs alone, the progress captions of a long list, and no request
// but the page itself.
// Usage: node chromium_test.mjs PAGE GOLDEN_DIR
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';

import * as h from './harness.mjs';

const pagePath = await h.pagePath(process.argv[2]);
const goldenDir = process.argv[3];
const golden = Object.fromEntries(['in.txt', 'Symbols.txt', 'FixedLines.txt', 'BadLines.txt']
  .map((name) => [name, fs.readFileSync(path.join(goldenDir, name))]));
const TITLE = 'Fix input files for the Quorlen';

const browser = await h.launchChromium();
const server = await h.servePage(pagePath);

// A page of the folder way, served from 127.0.0.1, whose picker answers with
// the origin-private folder `folder`; its requests are watched from the start.
async function folderWayPage(folder) {
  const page = await browser.newPage();
  await h.answerPickerWithOpfs(page, folder);
  const requests = await h.watchRequests(page);
  await page.goto(server.url, {waitUntil: 'load'});
  return {page, requests};
}

const utf16le = (text) => Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(text, 'utf16le')]);
const earlier = {'FixedLines.txt': Buffer.from('p a\r\nan earlier run\r\n'),
  'BadLines.txt': Buffer.from('3\tp x\tBad symbol removed\tx\r\n')};

await h.group('folder way, golden files', async () => {
  const {page, requests} = await folderWayPage('golden');
  const shape = await page.evaluate(() => ({
    title: document.title,
    heading: [...document.querySelectorAll('h1,h2,h3')].map((e) => e.textContent.trim()),
    buttons: document.querySelectorAll('button').length,
    focused: document.activeElement === document.getElementById('Command1'),
    version: (document.getElementById('Version') || {}).textContent || '',
    csp: [...document.querySelectorAll('meta[http-equiv]')]
      .filter((m) => m.httpEquiv.toLowerCase() === 'content-security-policy').map((m) => m.content),
    alertRole: (document.getElementById('RunError') || {getAttribute: () => null}).getAttribute('role'),
    alertVisible: !!(document.getElementById('RunError') || {}).checkVisibility?.call(document.getElementById('RunError')),
  }));
  h.check('the title and the heading', shape.title === TITLE && shape.heading.includes(TITLE), JSON.stringify(shape));
  h.check('one button, with the focus; a version; an empty hidden alert', shape.buttons === 1 && shape.focused &&
    /\d/.test(shape.version) && shape.alertRole === 'alert' && !shape.alertVisible, JSON.stringify(shape));
  h.check('a Content-Security-Policy that lets the page connect nowhere', shape.csp.length === 1 &&
    /(default|connect)-src[^;]*'none'/.test(shape.csp[0]) && !/connect-src[^;]*(http|\*|'self')/.test(shape.csp[0]),
  JSON.stringify(shape.csp));

  const instructions = (await h.pageState(page)).caption;
  await h.opfsFill(page, 'golden', {'in.txt': golden['in.txt'], 'Symbols.txt': golden['Symbols.txt'], ...earlier});
  const first = await h.runFolderWay(page);
  h.check('the run ends with "Done." and no alert', first.caption.startsWith('Done.') && first.alert === '',
    JSON.stringify(first));
  let folder = await h.opfsRead(page, 'golden');
  h.checkBytes('folder way: FixedLines.txt', folder['FixedLines.txt'], golden['FixedLines.txt']);
  h.checkBytes('folder way: BadLines.txt', folder['BadLines.txt'], golden['BadLines.txt']);
  h.check('folder way: the inputs stay and nothing else is left in the folder',
    Object.keys(folder).sort().join() === 'BadLines.txt,FixedLines.txt,Symbols.txt,in.txt' &&
    folder['in.txt'].equals(golden['in.txt']), Object.keys(folder).join());

  // A finished run: the next click shows the instructions, the one after runs again.
  await page.click('#Command1');
  const back = await h.pageState(page);
  h.check('a click after the run goes back to the instructions', back.caption === instructions && back.alert === '',
    JSON.stringify(back));
  await h.opfsFill(page, 'golden', {'in.txt': Buffer.from('p  x a\r\n\r\n'), 'Symbols.txt': golden['Symbols.txt']});
  const again = await h.runFolderWay(page);
  folder = await h.opfsRead(page, 'golden');
  h.check('the click after that runs again, on the folder as it is now', again.caption.startsWith('Done.') &&
    folder['FixedLines.txt']?.toString() === 'p a\r\n' &&
    folder['BadLines.txt']?.toString() === '1\tp x a\tBad symbol removed\tx\r\n2\tblank line (removed in FixedLines.txt)\r\n',
  JSON.stringify({again, fixed: folder['FixedLines.txt']?.toString(), bad: folder['BadLines.txt']?.toString()}));
  h.checkOnlyItself('folder way', requests, server.url);
  h.check('folder way: the server was asked for the page only',
    server.requests.every((url) => url === '/FixInputFiles.html'), JSON.stringify(server.requests));
  await page.close();
});

await h.group('folder way, failed runs and a cancelled picker', async () => {
  const {page, requests} = await folderWayPage('failing');
  const instructions = (await h.pageState(page)).caption;
  const cases = [
    {name: 'a missing Symbols.txt', files: {'in.txt': golden['in.txt'], ...earlier},
      number: 53, file: /Symbols\.txt/, says: 'a description naming Symbols.txt', words: /not found/i},
    {name: 'a UTF-16 in.txt', files: {'in.txt': utf16le('p a\r\nx\r\n'), 'Symbols.txt': golden['Symbols.txt'], ...earlier},
      number: 54, file: /in\.txt/, says: 'a description naming in.txt', words: /UTF-16/},
  ];
  // A disk that fills up while the outputs are written: 5.7 MB to clean, room for 1 MB more.
  const full = [];
  for (let i = 0; i < 300_000; i++) full.push('p a t p a t p a t');
  cases.push({name: 'a disk that fills up during the run', full: true,
    files: {'in.txt': Buffer.from(full.join('\r\n')), 'Symbols.txt': golden['Symbols.txt'], ...earlier},
    number: 61, file: /FixedLines\.txt|BadLines\.txt/, says: 'a description naming the output', words: /disk full/i});
  // A line longer than the page's memory: 70 MB, made in the page; the run after
  // the cancelled picker below shows that the page recovers.
  cases.push({name: 'a line of 70 MB, more than the page\'s memory', longLine: 70 << 20,
    files: {'Symbols.txt': golden['Symbols.txt'], ...earlier},
    number: 7, file: /./, says: 'Out of memory', words: /out of memory/i});
  const cdp = await page.createCDPSession();
  for (const c of cases) {
    await h.opfsFill(page, 'failing', c.files);
    if (c.longLine) {
      await page.evaluate(async (size) => {
        const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('failing');
        const writable = await (await dir.getFileHandle('in.txt', {create: true})).createWritable();
        const chunk = new TextEncoder().encode('p '.repeat(1 << 19));
        for (let at = 0; at < size; at += chunk.length) await writable.write(chunk);
        await writable.write(new TextEncoder().encode('x\r\np a\r\n'));
        await writable.close();
      }, c.longLine);
    }
    if (c.full) {
      const {usage} = await page.evaluate(() => navigator.storage.estimate());
      await cdp.send('Storage.overrideQuotaForOrigin', {origin: server.origin, quotaSize: usage + 1_000_000});
    }
    const end = await h.runFolderWay(page);
    if (c.full) await cdp.send('Storage.overrideQuotaForOrigin', {origin: server.origin});
    const lines = end.alert.split('\n').map((l) => l.trim()).filter((l) => l !== '');
    h.check(`${c.name}: the alert gives ${c.number}, then ${c.says}`,
      lines.length >= 2 && new RegExp(`\\b${c.number}\\b`).test(lines[0]) &&
      lines.slice(1).join(' ').search(c.file) >= 0 && c.words.test(lines.slice(1).join(' ')) &&
      !end.caption.startsWith('Done.'), JSON.stringify(end));
    const folder = await h.opfsRead(page, 'failing', Object.keys(c.files));
    const names = Object.keys(folder).sort().join();
    const expectedNames = Object.keys(c.files).concat(c.longLine ? ['in.txt'] : []).sort().join();
    h.check(`${c.name}: the folder is as it was, earlier outputs byte for byte`,
      names === expectedNames &&
      Object.entries(c.files).every(([file, bytes]) => folder[file].equals(bytes)),
    `the folder holds ${names}; changed: ${Object.keys(c.files).filter((f) => !folder[f]?.equals(c.files[f])).join(', ')}`);
    await page.click('#Command1');
    const back = await h.pageState(page);
    const hidden = await page.$eval('#RunError', (e) => !e.checkVisibility());
    h.check(`${c.name}: a click then clears the alert and shows the instructions`,
      back.caption === instructions && back.alert === '' && hidden, JSON.stringify(back));
  }

  // The user closes the picker: the instructions, no message, and the next click works.
  await page.evaluate(() => {
    const picker = window.showDirectoryPicker;
    window.showDirectoryPicker = async (options) => {
      window.showDirectoryPicker = picker;
      throw new DOMException('The user aborted a request.', 'AbortError');
    };
  });
  await page.click('#Command1');
  await new Promise((resolve) => setTimeout(resolve, 500));
  const cancelled = await h.pageState(page);
  await h.opfsFill(page, 'failing', {'in.txt': golden['in.txt'], 'Symbols.txt': golden['Symbols.txt']});
  const after = await h.runFolderWay(page);
  h.check('a cancelled picker: the instructions, no message, and the next click runs',
    cancelled.caption === instructions && cancelled.alert === '' && after.caption.startsWith('Done.'),
    JSON.stringify({cancelled, after}));
  h.checkOnlyItself('failed runs', requests, server.url);
  await page.close();
});

await h.group('folder way, progress captions of a long list', async () => {
  const {page} = await folderWayPage('long');
  // 5,500 lines, some blank, some with a symbol to remove.
  const lines = [];
  for (let i = 1; i <= 5500; i++) lines.push(i % 97 === 0 ? '' : i % 89 === 0 ? 'p x a' : 'p a t');
  await h.opfsFill(page, 'long', {'in.txt': Buffer.from(lines.join('\r\n') + '\r\n'), 'Symbols.txt': golden['Symbols.txt']});
  await h.recordCaptions(page);
  const end = await h.runFolderWay(page);
  const seen = await h.captions(page);
  const expected = [1000, 2000, 3000, 4000, 5000].map((n) => `Done with ${n} lines...`);
  h.check('every 1000 lines a progress caption, in order, then the closing one',
    JSON.stringify(seen.slice(0, -1).map((c) => c.trim())) === JSON.stringify(expected) &&
    seen[seen.length - 1].trim().startsWith('Done.') && end.alert === '', JSON.stringify(seen));
  await page.close();
});

await h.group('file way from file://, golden files', async () => {
  const page = await browser.newPage();
  await h.withoutFolderPicker(page);
  const requests = await h.watchRequests(page);
  const url = pathToFileURL(pagePath).href;
  await page.goto(url, {waitUntil: 'load'});
  const instructions = (await h.pageState(page)).caption;
  const goldenIn = path.join(goldenDir, 'in.txt');
  const goldenSymbols = path.join(goldenDir, 'Symbols.txt');

  // Only one of the two files picked: the alert names the other.
  const one = await h.runFileWay(page, [goldenIn]);
  h.check('file way, only in.txt picked: the alert names Symbols.txt',
    /\b53\b/.test(one.alert) && one.alert.includes('Symbols.txt'), JSON.stringify(one));
  await page.click('#Command1');
  h.check('file way: a click after the failure shows the instructions',
    (await h.pageState(page)).caption === instructions);

  const end = await h.runFileWay(page, [goldenIn, goldenSymbols]);
  h.check('file way: the run ends with "Done." and no alert', end.caption.startsWith('Done.') && end.alert === '',
    JSON.stringify(end));
  const saved = await h.saveDownloadLinks(page);
  h.check('file way: two links, saved as FixedLines.txt and BadLines.txt',
    Object.keys(saved).sort().join() === 'BadLines.txt,FixedLines.txt', Object.keys(saved).join());
  h.checkBytes('file way, saved link: FixedLines.txt', saved['FixedLines.txt'], golden['FixedLines.txt']);
  h.checkBytes('file way, saved link: BadLines.txt', saved['BadLines.txt'], golden['BadLines.txt']);
  h.checkOnlyItself('file way', requests, url);
  await page.close();
});

await h.finish();
