// Peer of the attribute decoding and tokenizer tests: parses UTF-8 pages with
// parse5 (scripting on, as in a browser).
//   node parse5_hrefs.js NODE_MODULES PAGE
//     prints, for every <a> element in document order, the UTF-8 bytes of its
//     href in hexadecimal, or "-" when it has none;
//   node parse5_hrefs.js NODE_MODULES PAGES --links
//     PAGES holds pages separated by the byte 0x01; prints one line per page:
//     the hrefs of the anchors a browser lists (HTML <a> elements with an
//     href, not in <template> content) in hexadecimal, separated by spaces.
const fs = require("fs");
const path = require("path");
const parse5 = require(path.join(process.argv[2], "parse5"));

const kHtml = "http://www.w3.org/1999/xhtml";
const hex = (value) => Buffer.from(value, "utf8").toString("hex");

function anchors(document, intoTemplates) {
  const found = [];
  const visit = (node) => {
    if (node.tagName === "a") found.push(node);
    for (const child of node.childNodes || []) visit(child);
    if (node.content && intoTemplates) visit(node.content);
  };
  visit(document);
  return found;
}

const href = (node) => node.attrs.find((attribute) => attribute.name === "href");
const text = fs.readFileSync(process.argv[3], "utf8");
if (process.argv[4] === "--links") {
  const lines = text.split("\x01").map((page) =>
    anchors(parse5.parse(page), false)
      .filter((node) => node.namespaceURI === kHtml && href(node))
      .map((node) => hex(href(node).value))
      .join(" "));
  process.stdout.write(lines.join("\n") + "\n");
} else {
  const lines = anchors(parse5.parse(text), true).map((node) =>
    href(node) ? hex(href(node).value) : "-");
  process.stdout.write(lines.join("\n") + "\n");
}
