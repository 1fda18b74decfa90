// Where the link lists of two listings part, page by page, with the place in
// the page that explains each difference: a link the reference has and ours
// lacks is shown at its anchor (byte offset, the markup before it, the
// elements around it); a link ours has and the reference lacks is looked for
// among the page's href attributes, after the last link both lists agree on,
// and shown with what the browser's tree makes of that place (a comment, a
// script's text, <template> content, an attribute...).
// Prints the first few differences of each page and writes them all to OUT.
//   node link_differences.js NODE_MODULES LIST OURS REFERENCE OUT [ENCODING] [SHOWN]
// LIST holds "ADDRESS<TAB>FILE" per page, as for parse5_links.js.
'use strict';
const fs = require('fs');
const path = require('path');
const { pageAnchors, resolve } = require('../peers/parse5_links.js');
const { readBlocks, unmatchedLinks } = require('./compare_link_blocks.js');

const [modules, listFile, oursFile, referenceFile, outFile] = process.argv.slice(2, 7);
const encoding = process.argv[7] || undefined;
const kShown = Number(process.argv[8] || 3);
const kBefore = 160;
const kTagShown = 240;
const parse5 = require(path.join(modules, 'parse5'));

// Character offset -> byte offset of the page as read (UTF-8 for the pages
// measured here; other encodings count their UTF-8 bytes).
function byteOffsets(text) {
  const table = new Uint32Array(text.length + 1);
  for (let i = 0; i < text.length; ++i) {
    const c = text.charCodeAt(i);
    const high = c >= 0xd800 && c <= 0xdbff;
    table[i + 1] = table[i] + (c < 0x80 ? 1 : c < 0x800 ? 2 : high ? 4 : c >= 0xdc00 && c <= 0xdfff ? 0 : 3);
  }
  return table;
}

const oneLine = (s) => JSON.stringify(s).slice(1, -1);

// The chain of element names from the root down to node.
function ancestry(node) {
  const names = [];
  for (let n = node; n && n.nodeName !== '#document'; n = n.parentNode ?? n.host) {
    const name = n.nodeName === '#document-fragment' ? 'template content' : n.nodeName;
    names.unshift(n.tagName && !n.namespaceURI.endsWith('xhtml') ? `${name}(foreign)` : name);
  }
  // Runs of one name (div > div > ...) shortened to div*N.
  return names.join(' > ').replace(/(?<![\w#-])([\w#()-]+)(?: > \1(?= >|$))+/g,
                                   (run, name) => `${name}*${run.split(' > ').length}`);
}

// The deepest node whose source spans offset (template content included).
function nodeAt(document, offset) {
  let found = null;
  const stack = [document];
  while (stack.length > 0) {
    const node = stack.pop();
    const at = node.sourceCodeLocation;
    if (at && at.startOffset <= offset && offset < at.endOffset) found = node;
    for (const child of node.childNodes || []) stack.push(child);
    if (node.content) {
      node.content.host = node;
      stack.push(node.content);
    }
  }
  return found;
}

function describePlace(document, offset) {
  const node = nodeAt(document, offset);
  if (!node) return 'outside every node the browser builds';
  const where = ancestry(node);
  if (node.nodeName === '#comment') return `in a comment (${where})`;
  if (node.nodeName === '#text') return `in the text of ${where}`;
  const tag = node.sourceCodeLocation.startTag;
  if (tag && offset < tag.endOffset) return `in the start tag of ${where}`;
  return `in ${where}`;
}

// href attribute values in the source, as written, from offset on.
function* hrefsIn(text, from) {
  const pattern = /\bhref\s*=\s*(?:\\?"([^"\\]*)|\\?'([^'\\]*)|([^\s>"'`]+))/gi;
  pattern.lastIndex = from;
  for (let m; (m = pattern.exec(text));) yield { offset: m.index, value: m[1] ?? m[2] ?? m[3] };
}

function decoded(value) {
  const fragment = parse5.parseFragment(`<a href="${value.replace(/"/g, '&quot;')}">`);
  return fragment.childNodes[0]?.attrs?.[0]?.value ?? value;
}

// Where ours found link: the first href after from that resolves to it,
// else the first anywhere, else the first place its path is written.
function findExtra(text, base, link, from, used) {
  for (const start of [from, 0]) {
    for (const { offset, value } of hrefsIn(text, start)) {
      if (used.has(offset)) continue;
      if (resolve(decoded(value), base) === link || value === link) return offset;
    }
  }
  const tail = link.replace(/^[a-z]+:\/\/[^/]*/i, '');
  const at = tail.length > 1 ? text.indexOf(tail, from) : -1;
  return at >= 0 ? at : text.indexOf(tail);
}

function snippet(text, start, end) {
  const tagEnd = Math.min(end, start + kTagShown);
  return `${oneLine(text.slice(Math.max(0, start - kBefore), start))} ⟦${
      oneLine(text.slice(start, tagEnd))}${tagEnd < end ? '…' : ''}⟧`;
}

function pageDifferences(address, file, ours, reference) {
  const page = pageAnchors(parse5, address, file, { encoding, locations: true });
  const bytes = byteOffsets(page.text);
  const { pairs, extra, missing } = unmatchedLinks(ours, reference);
  if (page.anchors.length !== reference.length) {
    return [{ at: 0, line: `  (the reference lists ${reference.length} links, the page ` +
                           `${page.anchors.length} anchors: file changed?)` }];
  }
  const anchorAt = (j) => page.anchors[j].element.sourceCodeLocation;
  // For each ours index, the reference anchor of the closest agreed link before it.
  const agreedBefore = new Int32Array(ours.length + 1).fill(-1);
  for (const [i, j] of pairs) agreedBefore[i + 1] = j;
  for (let i = 1; i <= ours.length; ++i) {
    if (agreedBefore[i] < 0) agreedBefore[i] = agreedBefore[i - 1];
  }
  // For each reference index, the closest agreed link before it: where ours
  // lost the thread is between the two.
  const agreedBeforeReference = new Int32Array(reference.length).fill(-1);
  for (const [, j] of pairs) if (j + 1 < reference.length) agreedBeforeReference[j + 1] = j;
  for (let j = 1; j < reference.length; ++j) {
    if (agreedBeforeReference[j] < 0) agreedBeforeReference[j] = agreedBeforeReference[j - 1];
  }
  const agreedEnd = (j) => {
    const at = j >= 0 ? anchorAt(j) : null;
    return at ? `byte ${bytes[at.endOffset]}` : 'none';
  };
  const entries = [];
  const used = new Set();
  for (const j of missing) {
    const at = anchorAt(j);
    if (!at) {
      // An element the tree builder made itself, such as an anchor reopened
      // after a misnested end tag.
      entries.push({ at: Infinity, line: `  missing ${reference[j]}\n    a copy the tree builder ` +
                                          `made (no source), ${ancestry(page.anchors[j].element)}` });
      continue;
    }
    const end = at.startTag ? at.startTag.endOffset : at.endOffset;
    entries.push({
      at: at.startOffset,
      line: `  missing ${reference[j]}\n    at byte ${bytes[at.startOffset]} (last link both list ` +
            `ends at ${agreedEnd(agreedBeforeReference[j])}), ` +
            `${ancestry(page.anchors[j].element)}\n    ${snippet(page.text, at.startOffset, end)}`,
    });
  }
  for (const i of extra) {
    const j = agreedBefore[i];
    const from = j >= 0 ? (anchorAt(j)?.endOffset ?? 0) : 0;
    const at = findExtra(page.text, page.base, ours[i], from, used);
    used.add(at);
    const place = at < 0 ? '    not found in the page'
                         : `    at byte ${bytes[at]}, ${describePlace(page.document, at)}\n    ` +
                           snippet(page.text, at, page.text.indexOf('>', at) + 1 || at + 1);
    entries.push({ at: at < 0 ? Infinity : at, line: `  extra   ${ours[i]}\n${place}` });
  }
  return entries.sort((a, b) => a.at - b.at);
}

function main() {
  const ours = readBlocks(oursFile);
  const reference = readBlocks(referenceFile);
  const report = [];
  let differing = 0;
  for (const line of fs.readFileSync(listFile, 'utf8').split('\n')) {
    if (!line) continue;
    const [address, file] = line.split('\t');
    const expected = reference.get(address) || [];
    const got = ours.get(address);
    if (got && got.length === expected.length && got.every((link, k) => link === expected[k])) {
      continue;
    }
    ++differing;
    const header = `${address} (${file}): ours ${got ? got.length : 'no block'}, ` +
                   `reference ${expected.length}`;
    const entries = got ? pageDifferences(address, file, got, expected) : [];
    report.push(header, ...entries.map((e) => e.line), '');
    console.log(header);
    for (const e of entries.slice(0, kShown)) console.log(e.line);
    if (entries.length > kShown) console.log(`  ... ${entries.length - kShown} more`);
  }
  fs.writeFileSync(outFile, report.join('\n'));
  console.log(`${differing} pages differ; every difference: ${outFile}`);
}

main();
