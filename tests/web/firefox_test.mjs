// The page in headless Firefox ESR, which has no folder picker: the file way
// from file:// on the golden files, the download links saved as a user's clicks
// save them; then random lists of many chunks, against the native program.
// Usage: node firefox_test.mjs PAGE GOLDEN_DIR CLEAN_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';

import * as h from './harness.mjs';
import {native, randomLists} from './lists.mjs';

const pagePath = await h.pagePath(process.argv[2]);
const goldenDir = process.argv[3];
const golden = (name) => fs.readFileSync(path.join(goldenDir, name));
const cleanFolder = process.argv[4];
if (!cleanFolder || !fs.existsSync(cleanFolder)) await h.bail(1, `FAILED: ${cleanFolder} is missing: build it with make build`);

const browser = await h.launchFirefox();

await h.group('Firefox, file way, golden files', async () => {
  const page = await browser.newPage();
  const requests = await h.watchRequests(page);
  const url = pathToFileURL(pagePath).href;
  await page.goto(url, {waitUntil: 'load'});
  const before = await page.evaluate(() => ({
    picker: typeof window.showDirectoryPicker,
    title: document.title,
    buttons: document.querySelectorAll('button').length,
  }));
  h.check('Firefox has no folder picker, and the page is the one button titled for the Quorlen',
    before.picker === 'undefined' && before.title === 'Fix input files for the Quorlen' && before.buttons === 1,
    JSON.stringify(before));
  const end = await h.runFileWay(page, [path.join(goldenDir, 'Symbols.txt'), path.join(goldenDir, 'in.txt')]);
  h.check('the run ends with "Done." and no alert', end.caption.startsWith('Done.') && end.alert === '',
    JSON.stringify(end));
  const saved = await h.saveDownloadLinks(page);
  h.check('two links, saved as FixedLines.txt and BadLines.txt',
    Object.keys(saved).sort().join() === 'BadLines.txt,FixedLines.txt', Object.keys(saved).join());
  h.checkBytes('saved link: FixedLines.txt', saved['FixedLines.txt'], golden('FixedLines.txt'));
  h.checkBytes('saved link: BadLines.txt', saved['BadLines.txt'], golden('BadLines.txt'));
  h.checkOnlyItself('Firefox', requests, url);
  await page.close();
});

await h.group('Firefox, file way: the page and the native program on random lists', async () => {
  const page = await browser.newPage();
  await page.goto(pathToFileURL(pagePath).href, {waitUntil: 'load'});
  for (const files of randomLists().slice(-2)) {
    const expected = native(cleanFolder, files);
    const dir = h.scratch('fixinput-chosen-');
    fs.writeFileSync(path.join(dir, 'in.txt'), files.in);
    fs.writeFileSync(path.join(dir, 'Symbols.txt'), files.symbols);
    const end = await h.runFileWay(page, [path.join(dir, 'in.txt'), path.join(dir, 'Symbols.txt')]);
    if (!h.check(`${files.name}: the run ends with "Done."`, end.caption.startsWith('Done.') && end.alert === '',
      JSON.stringify(end))) continue;
    const saved = await h.saveDownloadLinks(page);
    h.checkBytes(`${files.name}: FixedLines.txt as native`, saved['FixedLines.txt'], expected['FixedLines.txt']);
    h.checkBytes(`${files.name}: BadLines.txt as native`, saved['BadLines.txt'], expected['BadLines.txt']);
    await page.click('#Command1');
  }
  await page.close();
});

await h.finish();
