// Peer for the listing benchmark: htmlparser2 streams the page and collects
// every anchor's href. NODE_PATH names the directory htmlparser2 is installed in.
const fs = require("fs");
const { Parser } = require("htmlparser2");

const path = process.argv[2];
const wallStart = process.hrtime.bigint();
const cpuStart = process.cpuUsage();
const data = fs.readFileSync(path, "latin1");
const hrefs = [];
const parser = new Parser({
  onopentag(name, attributes) {
    if (name === "a") hrefs.push(attributes.href);
  },
});
parser.write(data);
parser.end();
const wall = Number(process.hrtime.bigint() - wallStart) / 1e9;
const used = process.cpuUsage(cpuStart);
const cpu = (used.user + used.system) / 1e6;
const mb = data.length / 1e6;
const peakMb = process.resourceUsage().maxRSS / 1024;
console.log(
  `htmlparser2 ${(mb / cpu).toFixed(1).padStart(6)} MB/s CPU (${cpu.toFixed(2)} s), ` +
    `${(mb / wall).toFixed(1).padStart(6)} MB/s wall (${wall.toFixed(2)} s), ` +
    `peak RSS ${peakMb.toFixed(0)} MB, links ${hrefs.length}`
);
