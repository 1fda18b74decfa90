// Peer of the anchor text test: parses UTF-8 pages with parse5 (scripting on,
// as in a browser) and gives the text shown for each anchor a browser lists.
//   node parse5_anchor_texts.js NODE_MODULES PAGES
// PAGES holds pages separated by the byte 0x01; prints one line per page: for
// every HTML <a> element with an href (not in <template> content), in
// document order, its text in hexadecimal ("-" when empty), separated by
// spaces. The text: textContent with HTML white space collapsed and trimmed,
// cut at 300 characters; when that is empty, the alt of the first <img> inside
// whose alt is not blank, treated alike. As a module: anchorText(element).
const fs = require("fs");
const path = require("path");

const kHtml = "http://www.w3.org/1999/xhtml";
const kMaxChars = 300;

function* descendants(node) {
  const stack = [...(node.childNodes || [])].reverse();
  while (stack.length > 0) {
    const next = stack.pop();
    yield next;
    stack.push(...[...(next.childNodes || [])].reverse());
  }
}

function shown(value) {
  const collapsed = value.replace(/[ \t\n\f\r]+/g, " ").replace(/^ /, "");
  return Array.from(collapsed).slice(0, kMaxChars).join("").replace(/ $/, "");
}

function anchorText(anchor) {
  let content = "";
  for (const node of descendants(anchor)) {
    if (node.nodeName === "#text") content += node.value;
  }
  if (shown(content) !== "") return shown(content);
  for (const node of descendants(anchor)) {
    const alt = node.tagName === "img" && node.namespaceURI === kHtml &&
                (node.attrs.find((attribute) => attribute.name === "alt") || {}).value;
    if (alt && shown(alt) !== "") return shown(alt);
  }
  return "";
}

function listedAnchors(document) {
  const found = [];
  const visit = (node) => {
    if (node.tagName === "a" && node.namespaceURI === kHtml &&
        node.attrs.some((attribute) => attribute.name === "href")) {
      found.push(node);
    }
    for (const child of node.childNodes || []) visit(child);
  };
  visit(document);
  return found;
}

function main() {
  const parse5 = require(path.join(process.argv[2], "parse5"));
  const hex = (value) => (value === "" ? "-" : Buffer.from(value, "utf8").toString("hex"));
  const pages = fs.readFileSync(process.argv[3], "utf8").split("\x01");
  const lines = pages.map((page) =>
    listedAnchors(parse5.parse(page)).map((anchor) => hex(anchorText(anchor))).join(" "));
  process.stdout.write(lines.join("\n") + "\n");
}

// The benchmark of the documentation corpus takes the same rule from here.
if (require.main === module) main();
module.exports = { anchorText };
