// Random lists for comparing the page with the native program, and the native
// program's outputs for them (clean_folder run on a folder of its own).
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import {scratch} from './harness.mjs';

// A small seeded generator, so a failing list can be made again.
export function generator(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (lo, hi) => lo + Math.floor(next() * (hi - lo + 1));
  const pick = (list) => list[Math.floor(next() * list.length)];
  return {next, int, pick};
}

const LEGAL = ['p', 'a', 't', 's', 'AA1', 'ʃ', 'tʃ', 'ŋ', 'ə', 'é', 'x́', 'k'.repeat(300)];
const ILLEGAL = ['x', 'P', 'AA3', 'ʃʃ', 'p\ta', '\t', 'a\u00a0', '\u00a0', '\x01', '\xff\xfe', 'ǃ', 'tʃʃ', 'kk'];
const ENDS = ['\r\n', '\r\n', '\r\n', '\n', '\r'];
const bytes = (text) => Buffer.from(text, 'latin1');
const utf8 = (text) => Buffer.from(text, 'utf8');

// The inventory: one symbol a line, mixed line ends, a blank line and a repeat.
export function inventory(rng) {
  const lines = [...LEGAL, '', 'a', 'ŋ '];
  return Buffer.concat(lines.map((symbol) => Buffer.concat([utf8(symbol), bytes(rng.pick(ENDS))])));
}

// A list of `count` lines of every kind the cleaner meets.
export function list(rng, count, {longTokens = false} = {}) {
  const parts = [];
  if (rng.next() < 0.5) parts.push(bytes('\xef\xbb\xbf'));
  for (let i = 0; i < count; i++) {
    const roll = rng.next();
    let line;
    if (roll < 0.05) line = '';
    else if (roll < 0.08) line = ' '.repeat(rng.int(1, 6));
    else {
      const tokens = [];
      for (let n = rng.int(1, 12); n > 0; n--) {
        const kind = rng.next();
        if (longTokens && kind < 0.002) tokens.push((kind < 0.001 ? 'k' : 'q').repeat(rng.int(200, 90_000)));
        else if (kind < 0.85) tokens.push(rng.pick(LEGAL.slice(0, -1)));
        else tokens.push(rng.pick(ILLEGAL));
      }
      if (longTokens && rng.next() < 0.01) tokens.push('k'.repeat(300));
      line = ' '.repeat(rng.next() < 0.1 ? rng.int(1, 4) : 0);
      tokens.forEach((token, at) => { line += (at ? ' '.repeat(rng.next() < 0.1 ? rng.int(2, 5) : 1) : '') + token; });
      line += ' '.repeat(rng.next() < 0.1 ? rng.int(1, 4) : 0);
    }
    parts.push(utf8(line));
    if (i < count - 1 || rng.next() < 0.7) parts.push(bytes(rng.pick(ENDS)));
  }
  return Buffer.concat(parts);
}

// The lists every comparison goes through, smallest first.
export function randomLists() {
  const lists = [];
  const rng = generator(11);
  lists.push({name: 'an empty list', in: Buffer.alloc(0), symbols: inventory(rng)});
  lists.push({name: 'blank lines only, the last two CR LF', in: bytes('\r\n  \r\n\n\r\r\n\r\n'), symbols: inventory(rng)});
  lists.push({name: '3,000 mixed lines', in: list(rng, 3000), symbols: inventory(rng)});
  lists.push({name: 'long tokens', in: list(rng, 4000, {longTokens: true}), symbols: inventory(rng)});
  const line = 'p ' + 'q'.repeat(1_500_000) + ' a  ' + 'k'.repeat(300) + ' ' + 'k'.repeat(301);
  lists.push({name: 'one line of 1.5 MB', in: bytes(line), symbols: inventory(rng)});
  lists.push({name: '120,000 mixed lines', in: list(rng, 120_000), symbols: inventory(rng)});
  return lists;
}

export function native(cleanFolder, files) {
  const dir = scratch('fixinput-native-');
  fs.writeFileSync(path.join(dir, 'in.txt'), files.in);
  fs.writeFileSync(path.join(dir, 'Symbols.txt'), files.symbols);
  const run = spawnSync(cleanFolder, [dir], {encoding: 'latin1'});
  if (run.status !== 0) throw new Error(`clean_folder failed on ${files.name}: ${run.stderr}`);
  const out = {'FixedLines.txt': fs.readFileSync(path.join(dir, 'FixedLines.txt')),
    'BadLines.txt': fs.readFileSync(path.join(dir, 'BadLines.txt'))};
  fs.rmSync(dir, {recursive: true, force: true});
  return out;
}

