// Browser reference for the link listing: for each page, the links a
// browser's a.href gives. parse5 builds the tree as a browser does; the page
// is decoded in the encoding a browser sniffs (BOM, then <meta> in the first
// 1024 bytes, else windows-1252); the base is the first <base href> resolved
// against the page address; each <a href> in document order (not inside
// <template>) is resolved by Node's URL, an href it finds no URL in stays as
// written. Writes the blocks in movrek-cli's text format.
//   node parse5_links.js NODE_MODULES LIST > REFERENCE
// LIST holds one "ADDRESS<TAB>FILE" line per page.
'use strict';
const fs = require('fs');
const path = require('path');
const parse5 = require(path.join(process.argv[2], 'parse5'));

const kHtml = 'http://www.w3.org/1999/xhtml';

function sniffEncoding(bytes) {
  if (bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) return 'utf-8';
  if (bytes[0] === 0xfe && bytes[1] === 0xff) return 'utf-16be';
  if (bytes[0] === 0xff && bytes[1] === 0xfe) return 'utf-16le';
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

function pageLinks(address, file) {
  const bytes = fs.readFileSync(file);
  const document = parse5.parse(new TextDecoder(sniffEncoding(bytes)).decode(bytes));
  let base = address;
  let baseSeen = false;
  const links = [];
  for (const element of elements(document)) {
    if (element.namespaceURI !== kHtml) continue;
    if (element.tagName === 'base' && !baseSeen && attribute(element, 'href') !== null) {
      baseSeen = true;
      base = resolve(attribute(element, 'href'), address) || address;
    } else if (element.tagName === 'a' && attribute(element, 'href') !== null) {
      links.push(attribute(element, 'href'));
    }
  }
  // The base applies to every anchor, also those before it.
  return { base, links: links.map((href) => resolve(href, base) ?? href) };
}

const out = [];
for (const line of fs.readFileSync(process.argv[3], 'utf8').split('\n')) {
  if (!line) continue;
  const [address, file] = line.split('\t');
  const { base, links } = pageLinks(address, file);
  out.push('#===========#', `# Links From: ${address}`, `# Baseurl: ${base}`, '#===========#',
           ...links);
}
process.stdout.write(out.join('\n') + '\n');
