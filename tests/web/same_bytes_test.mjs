// The engine in the page and the native engine give the same bytes: random
// lists, cleaned by the page in headless Chromium and by the native program
// (clean_folder) in a folder, must give the same FixedLines.txt and BadLines.txt.
// Usage: node same_bytes_test.mjs PAGE CLEAN_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';

import * as h from './harness.mjs';
import {native as nativeOf, randomLists} from './lists.mjs';

const pagePath = await h.pagePath(process.argv[2]);
const cleanFolder = process.argv[3];
if (!cleanFolder || !fs.existsSync(cleanFolder)) await h.bail(1, `FAILED: ${cleanFolder} is missing: build it with make build`);

const lists = randomLists();

const browser = await h.launchChromium();
const server = await h.servePage(pagePath);

await h.group('folder way: the page and the native program on random lists', async () => {
  const page = await browser.newPage();
  await h.answerPickerWithOpfs(page, 'random');
  await page.goto(server.url, {waitUntil: 'load'});
  for (const files of lists) {
    const expected = nativeOf(cleanFolder, files);
    await h.opfsFill(page, 'random', {'in.txt': files.in, 'Symbols.txt': files.symbols});
    const end = await h.runFolderWay(page);
    if (!h.check(`${files.name} (${files.in.length} bytes): the run ends with "Done."`,
      end.caption.startsWith('Done.') && end.alert === '', JSON.stringify(end))) continue;
    const got = await h.opfsRead(page, 'random');
    h.checkBytes(`${files.name}: FixedLines.txt as native`, got['FixedLines.txt'], expected['FixedLines.txt']);
    h.checkBytes(`${files.name}: BadLines.txt as native`, got['BadLines.txt'], expected['BadLines.txt']);
    await page.click('#Command1');
  }
  await page.close();
});

await h.group('file way: the page and the native program on the longest lists', async () => {
  const page = await browser.newPage();
  await h.withoutFolderPicker(page);
  await page.goto(pathToFileURL(pagePath).href, {waitUntil: 'load'});
  for (const files of lists.slice(-3)) {
    const expected = nativeOf(cleanFolder, files);
    const dir = h.scratch('fixinput-chosen-');
    fs.writeFileSync(path.join(dir, 'in.txt'), files.in);
    fs.writeFileSync(path.join(dir, 'Symbols.txt'), files.symbols);
    const end = await h.runFileWay(page, [path.join(dir, 'in.txt'), path.join(dir, 'Symbols.txt')]);
    if (!h.check(`file way, ${files.name}: the run ends with "Done."`,
      end.caption.startsWith('Done.') && end.alert === '', JSON.stringify(end))) continue;
    const got = await h.saveDownloadLinks(page);
    h.checkBytes(`file way, ${files.name}: FixedLines.txt as native`, got['FixedLines.txt'], expected['FixedLines.txt']);
    h.checkBytes(`file way, ${files.name}: BadLines.txt as native`, got['BadLines.txt'], expected['BadLines.txt']);
    await page.click('#Command1');
  }
  await page.close();
});

await h.finish();
