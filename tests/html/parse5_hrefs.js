// Peer of the attribute decoding test: parses a UTF-8 page with parse5 and
// prints, for every <a> element in document order, the UTF-8 bytes of its href
// in hexadecimal, or "-" when it has none.
//   node parse5_hrefs.js NODE_MODULES PAGE
const fs = require("fs");
const path = require("path");
const parse5 = require(path.join(process.argv[2], "parse5"));

const document = parse5.parse(fs.readFileSync(process.argv[3], "utf8"));
const lines = [];
const visit = (node) => {
  if (node.tagName === "a") {
    const href = node.attrs.find((attribute) => attribute.name === "href");
    lines.push(href ? Buffer.from(href.value, "utf8").toString("hex") : "-");
  }
  for (const child of node.childNodes || []) visit(child);
  if (node.content) visit(node.content);
};
visit(document);
process.stdout.write(lines.join("\n") + "\n");
