// Peer for the listing benchmark: htmlparser2 streams the page and collects
// every anchor's href. NODE_PATH names the directory htmlparser2 is installed in.
const fs = require("fs");
const { Parser } = require("htmlparser2");

const path = process.argv[2];
const start = process.hrtime.bigint();
const data = fs.readFileSync(path, "latin1");
const hrefs = [];
const parser = new Parser({
  onopentag(name, attributes) {
    if (name === "a") hrefs.push(attributes.href);
  },
});
parser.write(data);
parser.end();
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
const peakMb = process.resourceUsage().maxRSS / 1024;
console.log(
  `htmlparser2 ${(data.length / 1e6 / seconds).toFixed(1)} MB/s  ${seconds.toFixed(2)} s  ` +
    `peak RSS ${peakMb.toFixed(0)} MB  links ${hrefs.length}`
);
