// Compares the anchor texts movrek-cli lists (--format jsonl --with-text) with
// the text a browser shows for the same anchors: parse5's tree, textContent
// collapsed and cut, or the first alt that is not blank (the rule of the
// anchor text peer test). Pages whose anchors are not the same in number are
// counted apart: their texts cannot be paired.
//   node compare_anchor_texts.js NODE_MODULES PAGES_TSV OURS_JSONL DIFFERENCES
// PAGES_TSV holds "ADDRESS<TAB>FILE" lines; DIFFERENCES receives every
// differing text with its page.
'use strict';
const fs = require('fs');
const path = require('path');
const { pageAnchors } = require('../peers/parse5_links.js');
const { anchorText } = require('../../tests/engine/listing/parse5_anchor_texts.js');

const parse5 = require(path.join(process.argv[2], 'parse5'));
const ours = new Map();
for (const line of fs.readFileSync(process.argv[4], 'utf8').split('\n')) {
  if (line) {
    const record = JSON.parse(line);
    ours.set(record.url, record.anchors || []);
  }
}

// Why two texts differ, roughly: a reader's tally, not a verdict.
function kindOf(element, mine, theirs) {
  const raw = (node) => ['script', 'style', 'textarea', 'title', 'noscript'].includes(node.tagName);
  const stack = [...element.childNodes];
  while (stack.length > 0) {
    const node = stack.pop();
    if (raw(node)) return 'raw text element inside (textContent holds its source)';
    stack.push(...(node.childNodes || []));
  }
  if (mine.replace(/ /g, '') === theirs.replace(/ /g, '')) return 'white space only';
  if (theirs.startsWith(mine)) return 'ours shorter';
  if (mine.startsWith(theirs)) return 'ours longer';
  return 'other';
}

let pages = 0;
let compared = 0;
let equal = 0;
let unpaired = 0;
const kinds = new Map();
const differences = [];
for (const line of fs.readFileSync(process.argv[3], 'utf8').split('\n')) {
  if (!line) continue;
  const [address, file] = line.split('\t');
  const mine = ours.get(address);
  if (!mine) continue;
  ++pages;
  const { anchors } = pageAnchors(parse5, address, file);
  if (anchors.length !== mine.length) {
    ++unpaired;
    continue;
  }
  anchors.forEach((anchor, i) => {
    const theirs = anchorText(anchor.element);
    ++compared;
    if (mine[i].text === theirs) {
      ++equal;
      return;
    }
    const kind = kindOf(anchor.element, mine[i].text, theirs);
    kinds.set(kind, (kinds.get(kind) || 0) + 1);
    differences.push(`${address}\n  ${kind}\n  ours:   ${JSON.stringify(mine[i].text)}` +
                     `\n  parse5: ${JSON.stringify(theirs)}`);
  });
}
fs.writeFileSync(process.argv[5], differences.join('\n') + '\n');
const share = (n, of) => (of === 0 ? '-' : `${((100 * n) / of).toFixed(2)} %`);
console.log(`pages: ${pages} (${unpaired} with another number of anchors, not compared)`);
console.log(`anchor texts equal: ${equal} of ${compared} (${share(equal, compared)})`);
for (const [kind, count] of [...kinds].sort((a, b) => b[1] - a[1])) {
  console.log(`  ${count}\t${kind}`);
}
