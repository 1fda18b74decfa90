// Browser reference for the link listing: for each page, the links a
// browser's a.href gives. parse5 builds the tree as a browser does; the page
// is decoded in the encoding a browser sniffs (BOM, then <meta> in the first
// 1024 bytes, else windows-1252); the base is the first <base href> resolved
// against the page address; each <a href> in document order (not inside
// <template>) is resolved by Node's URL, an href it finds no URL in stays as
// written. Writes the blocks in movrek-cli's text format.
//   node parse5_links.js NODE_MODULES LIST [ENCODING] > REFERENCE
// LIST holds one "ADDRESS<TAB>FILE" line per page. ENCODING (a label such as
// utf-8) reads every page in that encoding, as a browser does when the
// Content-Type header names a charset; a BOM still wins.
// As a module: pageAnchors() gives each anchor with its element, for tools
// that look at where in the page a link comes from.
'use strict';
const fs = require('fs');
const path = require('path');

const kHtml = 'http://www.w3.org/1999/xhtml';

function sniffEncoding(bytes, forced) {
  if (bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) return 'utf-8';
  if (bytes[0] === 0xfe && bytes[1] === 0xff) return 'utf-16be';
  if (bytes[0] === 0xff && bytes[1] === 0xfe) return 'utf-16le';
  if (forced) return forced;
  const head = bytes.subarray(0, 1024).toString('latin1');
  const meta = /<meta[^>]*?charset\s*=\s*["']?\s*([-\w:.]+)/i.exec(head);
  if (meta) {
    try {
      const label = new TextDecoder(meta[1]).encoding;
      // A page cannot declare itself UTF-16 in ASCII text.
      return label.startsWith('utf-16') ? 'utf-8' : label;
    } catch {
      // an unknown label counts as none
    }
  }
  return 'windows-1252';
}

function attribute(node, name) {
  const found = node.attrs.find((a) => a.name === name && !a.namespace);
  return found ? found.value : null;
}

// Elements in tree order, iteratively: a deep page must not exhaust the stack.
function* elements(document) {
  const stack = [document];
  while (stack.length > 0) {
    const node = stack.pop();
    if (node.tagName) yield node;
    const children = node.childNodes || [];
    for (let i = children.length - 1; i >= 0; --i) stack.push(children[i]);
  }
}

function resolve(href, base) {
  try {
    return new URL(href, base).href;
  } catch {
    return null;
  }
}

// The page's base and its anchors ({ href, link, element }) in document
// order; with locations, the elements carry parse5's sourceCodeLocation (in
// characters of text, the decoded page).
function pageAnchors(parse5, address, file, { encoding, locations } = {}) {
  const bytes = fs.readFileSync(file);
  const text = new TextDecoder(sniffEncoding(bytes, encoding)).decode(bytes);
  const document = parse5.parse(text, { sourceCodeLocationInfo: Boolean(locations) });
  let base = address;
  let baseSeen = false;
  const anchors = [];
  for (const element of elements(document)) {
    if (element.namespaceURI !== kHtml) continue;
    if (element.tagName === 'base' && !baseSeen && attribute(element, 'href') !== null) {
      baseSeen = true;
      base = resolve(attribute(element, 'href'), address) || address;
    } else if (element.tagName === 'a' && attribute(element, 'href') !== null) {
      anchors.push({ href: attribute(element, 'href'), element });
    }
  }
  // The base applies to every anchor, also those before it.
  for (const anchor of anchors) anchor.link = resolve(anchor.href, base) ?? anchor.href;
  return { base, anchors, text, document };
}

function main() {
  const parse5 = require(path.join(process.argv[2], 'parse5'));
  const encoding = process.argv[4];
  const out = [];
  for (const line of fs.readFileSync(process.argv[3], 'utf8').split('\n')) {
    if (!line) continue;
    const [address, file] = line.split('\t');
    const { base, anchors } = pageAnchors(parse5, address, file, { encoding });
    out.push('#===========#', `# Links From: ${address}`, `# Baseurl: ${base}`, '#===========#',
             ...anchors.map((anchor) => anchor.link));
  }
  process.stdout.write(out.join('\n') + '\n');
}

if (require.main === module) main();
module.exports = { pageAnchors, resolve, elements };
