// Generates hrefs from a fixed seed, resolves them against a set of bases
// with Node's URL (a browser's parser) and with the probe program given as
// the first argument, and reports every case where the two differ.
'use strict';
const { spawnSync } = require('child_process');

const kCases = Number(process.env.WEB_URL_CASES || 30000);
const kShown = 40;

// mulberry32: a small seeded generator, so every run checks the same cases.
function makeRandom(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
const random = makeRandom(21);
const pick = (list) => list[Math.floor(random() * list.length)];
const maybe = (p, f) => (random() < p ? f() : '');

const bases = [
  '', 'http://h/lua/genindex.html', 'https://docs.example.org/3/library/os.html?x=1#frag',
  'http://user:pw@example.com:8080/a/b/c', 'http://127.0.0.1/dir/', 'http://[::1]:81/x/y?q',
  'file:///C:/dir/file.txt', 'file:///usr/share/doc/x.html', 'file://host/share/x',
  'foo://host/a/b', 'foo:/a/b', 'foo:///a//b', 'mailto:a@b.c', 'ws://w.example/chat',
  'ftp://ftp.example.org/pub/', 'javascript:void(0)', 'sc://x/?q#f', 'http://example.com',
  'web+x:/.//p/q',
];
const schemes = [
  'http:', 'HTTP:', 'https:', 'hTtPs:', 'file:', 'FILE:', 'foo:', 'mailto:', 'javascript:',
  'data:', 'tel:', 'ws:', 'wss:', 'ftp:', 'a+b-c.d:', 'c:', 'C|', 'sc:', '1a:', 'web+x:',
];
const slashes = ['', '/', '//', '///', '\\', '\\\\', '/\\', '\\/', '////'];
const hosts = [
  'host', 'EXAMPLE.com', 'h', 'user:pass@h', 'u@h', '@h', ':@h', 'a@b@c', 'u:p:q@h', 'ü:ä@h',
  'h:80', 'h:0080', 'h:443', 'h:21', 'h:65535', 'h:65536', 'h:', 'h:8x', 'h:99999999999',
  '127.1', '0x7f.0.0.1', '0300.0250.0.1', '1.2.3.4.5', '999999999', '4294967295',
  '4294967296', '0x', '1.2.3.', '1..2', '09.1', '0x1G', '[::1]', '[1:2:3:4:5:6:7:8]',
  '[::ffff:1.2.3.4]', '[1::]', '[0:0:1:0:0:0:0:0]', '[::1', '[1:0:0:2:0:0:0:3]',
  '[::1.2.3.256]', '[1:2::3:4::5]', '[FFFF::ABCD]', '[::01.2.3.4]', '[1:2:3:4:5:6:7:8:9]',
  'xn--zca.de', 'faß.de', 'bücher.example', 'BÜCHER.example', '%41.com', 'h%20x', 'ex ample',
  'ü%zz', 'localhost', 'LOCALHOST', 'a..b', 'foo.0x', 'foo.09', '1.2.3.08', 'x%2ey',
  'h<x', 'a^b', 'a|b', 'ａｂｃ.com', 'a。b', 'h\u00ad.com', '%e2%98%83', 'C|', 'c:', '', ':80',
  'xn--a.com', 'h_x.com', 'h$x', '[v1.x]', 'a%00b', '1.0x100.3', '0xffffffff', '-ü.com',
  'ü-', 'ab--ü.de', 'XN--AB---3RA.de', '-\u0301ü', 'ﬁ-ü', '%2Dü', 'ü.-x.Ä',
];
const segments = [
  'a', 'b.html', 'index.html', '.', '..', '%2e', '.%2E', '%2e%2E', '%2E.', '...', 'a b',
  'é', '%zz', '%41', '%', 'c:', 'C|', 'x:y', '{}', '`', '^|', '\u0000', '\u0001', '\u007f',
  '€', '😀', "'", '"', '<>', '', 'x%2fy', '\ud800', 'a?b', 'a#b', '\u00a0',
];
const queries = ['?', '?a=b', '?a b', '?é', "?'", '?#', '?%zz', '?\u0001', '?<>"`', '??x', '?{}'];
const fragments = ['#', '#x', '#a b', '#`', '#é', '#<>', '##', '#\u0001', '#{}%'];
const blanks = ['', ' ', '  ', '\t', '\n', '\r\n', '\u0000', '\u001f', '\u000c'];

function makePath() {
  let path = '';
  const count = Math.floor(random() * 4);
  for (let i = 0; i < count; ++i) {
    if (i > 0 || random() < 0.5) path += pick(['/', '/', '/', '\\']);
    path += pick(segments);
  }
  return path;
}

function makeHref() {
  let href = maybe(0.35, () => pick(schemes));
  const withHost = random() < 0.45;
  href += withHost ? pick(['//', '//', '\\\\', '/\\', '///']) : maybe(0.3, () => pick(slashes));
  if (withHost) href += pick(hosts);
  href += makePath();
  href += maybe(0.25, () => pick(queries));
  href += maybe(0.2, () => pick(fragments));
  if (random() < 0.15) {
    const at = Math.floor(random() * (href.length + 1));
    href = href.slice(0, at) + pick(['\t', '\n', '\r']) + href.slice(at);
  }
  if (random() < 0.1) href = pick(blanks) + href + pick(blanks);
  return href;
}

function nodeHref(href, base) {
  try {
    return (base === '' ? new URL(href) : new URL(href, base)).href;
  } catch {
    return 'FAIL';
  }
}

const cases = [];
for (let i = 0; i < kCases; ++i) cases.push([pick(bases), makeHref()]);
// Lone surrogates cannot travel as UTF-8; the page decoder never yields them.
const wellFormed = cases.filter(([b, h]) => !/[\ud800-\udfff]/.test(h.replace(/[\ud800-\udbff][\udc00-\udfff]/g, '')));
// Each text goes with its length in bytes, as hrefs may hold any byte.
const field = (text) => `${Buffer.byteLength(text)}\n${text}`;
const input = Buffer.from(wellFormed.map(([b, h]) => field(b) + field(h)).join(''), 'utf8');
const run = spawnSync(process.argv[2], [], { input, maxBuffer: 1 << 28 });
if (run.status !== 0) {
  console.error(`probe failed: status ${run.status} ${run.stderr}`);
  process.exit(1);
}
const results = run.stdout.toString('utf8').split('\n');
// Where Node 20 departs from the standard, and where libidn2 (IDNA2008)
// refuses symbols that UTS #46 takes; counted apart, not as faults.
function knownDeparture(base, href, node, ours) {
  const cleaned = href.replace(/[\t\n\r]/g, '').replace(/^[\0- ]+|[\0- ]+$/g, '');
  const relative = !/^[A-Za-z][A-Za-z0-9+.-]*:/.test(cleaned);
  if (/^(mailto|javascript):/.test(base) && ours === 'FAIL' && node !== 'FAIL' && relative &&
      cleaned.includes('#') && !cleaned.startsWith('#')) {
    return 'Node 20 resolves a relative href against a base with an opaque path';
  }
  const special = /^(https?|wss?|ftp|file):/.test(ours);
  if (ours !== 'FAIL' && !special && ours.length === node.length + 1) {
    for (let i = 0; i < ours.length; ++i) {
      if (ours[i] !== node[i]) {
        if (ours[i] === '/' && ours.slice(i + 1) === node.slice(i)) {
          return 'Node 20 drops the empty segment a last ".." leaves in a non-special path';
        }
        break;
      }
    }
  }
  if (ours !== 'FAIL' && /^file:\/\/[^/]*\/[A-Za-z]:[^/]/.test(node) && ours.length < node.length) {
    return 'Node 20 keeps a first file segment that only starts like a drive letter ("x:y") from ".."';
  }
  if (ours === 'FAIL' && /xn--/.test(node)) return 'libidn2 (IDNA2008) refuses a host that UTS #46 takes';
  return null;
}

const departures = new Map();
let differences = 0;
wellFormed.forEach(([base, href], i) => {
  const expected = nodeHref(href, base);
  if (results[i] === expected) return;
  const departure = knownDeparture(base, href, expected, results[i]);
  if (departure && process.env.SHOW_KNOWN && departure.startsWith(process.env.SHOW_KNOWN)) console.log(`known: ${JSON.stringify(href)} node ${expected} ours ${results[i]}`);
  if (departure) {
    departures.set(departure, (departures.get(departure) || 0) + 1);
    return;
  }
  if (++differences <= kShown) {
    console.log(`base ${JSON.stringify(base)} href ${JSON.stringify(href)}\n` +
                `  node ${JSON.stringify(expected)}\n  ours ${JSON.stringify(results[i])}`);
  }
});
for (const [what, count] of departures) console.log(`${count} known: ${what}`);
console.log(`${wellFormed.length} cases, ${differences} differ`);
process.exit(differences === 0 ? 0 : 1);
