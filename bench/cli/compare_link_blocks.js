// Compares two listings in movrek-cli's text format page by page (the link
// lines of each block, in order) and prints the share of equal pages and of
// equal links, with a sample of the differences by kind.
//   node compare_link_blocks.js OURS REFERENCE [SAMPLES_PER_KIND]
// As a module: readBlocks() and unmatchedLinks() for tools that look closer.
'use strict';
const fs = require('fs');

function readBlocks(file) {
  const blocks = new Map();
  const lines = fs.readFileSync(file, 'utf8').split(/\r?\n/);
  let links = null;
  for (let i = 0; i < lines.length; ++i) {
    const line = lines[i];
    if (line === '#===========#' && lines[i + 1]?.startsWith('# Links From: ') &&
        lines[i + 2]?.startsWith('# Baseurl: ') && lines[i + 3] === '#===========#') {
      links = [];
      blocks.set(lines[i + 1].slice('# Links From: '.length), links);
      i += 3;
    } else if (links && line !== '') {
      links.push(line);
    }
  }
  return blocks;
}

// Longest common subsequence, as pairs of indexes.
function commonLinks(a, b) {
  const n = a.length;
  const m = b.length;
  const table = Array.from({ length: n + 1 }, () => new Uint32Array(m + 1));
  for (let i = n - 1; i >= 0; --i) {
    for (let j = m - 1; j >= 0; --j) {
      table[i][j] = a[i] === b[j] ? table[i + 1][j + 1] + 1
                                  : Math.max(table[i + 1][j], table[i][j + 1]);
    }
  }
  const pairs = [];
  for (let i = 0, j = 0; i < n && j < m;) {
    if (a[i] === b[j]) pairs.push([i++, j++]);
    else if (table[i + 1][j] >= table[i][j + 1]) ++i;
    else ++j;
  }
  return pairs;
}

const hasScheme = (s) => /^[A-Za-z][A-Za-z0-9+.-]*:/.test(s);
function safeDecode(s) {
  try {
    return decodeURIComponent(s);
  } catch {
    return s;
  }
}

function kindOf(ours, reference, page) {
  if (ours === undefined) return 'missing from ours';
  if (reference === undefined) return 'extra in ours';
  if (!hasScheme(ours) && hasScheme(reference)) return 'ours not resolved';
  const charRef = /&(#\d+|#x[0-9a-f]+|[a-z]+\d*);/i;
  if (charRef.test(ours) && !charRef.test(reference)) {
    return 'character reference not decoded';
  }
  if (ours.toLowerCase() === reference.toLowerCase()) return 'letter case (scheme or host)';
  if (ours.replace(/^([a-z]+:\/\/[^/?#]*)([?#]|$)/i, '$1/$2') === reference) {
    return 'no "/" path after the host';
  }
  if (reference.startsWith(page) && !ours.startsWith(page) &&
      ours.endsWith(reference.slice(page.length))) {
    return '"", "#x" or "?x" against the directory, not the page';
  }
  if (safeDecode(ours) === safeDecode(reference)) return 'percent-encoding';
  if (/\/\.\.?(\/|$|[?#])/.test(ours)) return 'dot segments';
  if (ours.includes('\\')) return 'backslash';
  if (ours.split('#')[0] === reference.split('#')[0]) return 'fragment';
  if (ours.split('?')[0] === reference.split('?')[0]) return 'query';
  return 'other';
}

// The indexes of the links of each list that the other lacks.
function unmatchedLinks(ours, reference) {
  const pairs = commonLinks(ours, reference);
  const inOurs = new Set(pairs.map(([i]) => i));
  const inReference = new Set(pairs.map(([, j]) => j));
  return {
    pairs,
    extra: ours.map((_, i) => i).filter((i) => !inOurs.has(i)),
    missing: reference.map((_, j) => j).filter((j) => !inReference.has(j)),
  };
}

function main() {
  const kSamples = Number(process.argv[4] || 3);
  const ours = readBlocks(process.argv[2]);
  const reference = readBlocks(process.argv[3]);
  let pagesEqual = 0;
  let linksReference = 0;
  let linksEqual = 0;
  let linksOurs = 0;
  const kinds = new Map();
  const note = (kind, page, a, b) => {
    const entry = kinds.get(kind) || { count: 0, samples: [] };
    entry.count += 1;
    if (entry.samples.length < kSamples) entry.samples.push({ page, ours: a, reference: b });
    kinds.set(kind, entry);
  };
  for (const [page, expected] of reference) {
    const got = ours.get(page) || [];
    linksReference += expected.length;
    linksOurs += got.length;
    if (!ours.has(page)) note('page missing from ours', page, undefined, undefined);
    if (got.length === expected.length && got.every((link, i) => link === expected[i])) {
      ++pagesEqual;
      linksEqual += expected.length;
      continue;
    }
    const pairs = commonLinks(got, expected);
    linksEqual += pairs.length;
    // Between two matched links, the unmatched ones pair up in order.
    let i = 0;
    let j = 0;
    for (const [pi, pj] of [...pairs, [got.length, expected.length]]) {
      while (i < pi || j < pj) {
        note(kindOf(i < pi ? got[i] : undefined, j < pj ? expected[j] : undefined, page), page,
             got[i < pi ? i : -1], expected[j < pj ? j : -1]);
        if (i < pi) ++i;
        if (j < pj) ++j;
      }
      i = pi + 1;
      j = pj + 1;
    }
  }
  const share = (a, b) => (b === 0 ? 100 : (100 * a) / b).toFixed(2);
  console.log(`pages equal: ${pagesEqual} of ${reference.size} (${share(pagesEqual, reference.size)} %)`);
  console.log(`links equal: ${linksEqual} of ${linksReference} (${share(linksEqual, linksReference)} %),` +
              ` ours lists ${linksOurs}`);
  for (const [kind, { count, samples }] of [...kinds].sort((a, b) => b[1].count - a[1].count)) {
    console.log(`${String(count).padStart(8)}  ${kind}`);
    for (const s of samples) {
      console.log(`            ${s.page}\n              ours ${JSON.stringify(s.ours)}\n` +
                  `              ref  ${JSON.stringify(s.reference)}`);
    }
  }
}

if (require.main === module) main();
module.exports = { readBlocks, unmatchedLinks };
