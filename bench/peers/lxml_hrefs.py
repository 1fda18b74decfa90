"""Peer for the listing benchmark: lxml collects every anchor's href.

  lxml_hrefs.py PAGE target   libxml2's HTML parser with a target that takes
                              each start tag (no tree), the like of htmlparser2
  lxml_hrefs.py PAGE tree     lxml.html.document_fromstring and iter("a");
                              libxml2 builds no element after the first
                              document's end, so it finds few of the links
"""
import resource
import sys
import time

import lxml.etree
import lxml.html


class HrefTarget:
    def __init__(self):
        self.hrefs = []

    def start(self, tag, attrib):
        if tag == "a":
            self.hrefs.append(attrib.get("href"))

    def end(self, tag):
        pass

    def data(self, text):
        pass

    def close(self):
        return self.hrefs


path, mode = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "target"
wall = time.perf_counter()
cpu = time.process_time()
with open(path, "rb") as f:
    data = f.read()
# huge_tree lifts libxml2's depth and size limits, and a one-byte encoding
# keeps a stray non-UTF-8 byte from ending the parse; the other peers read
# bytes too.
if mode == "tree":
    parser = lxml.html.HTMLParser(huge_tree=True, encoding="latin-1")
    tree = lxml.html.document_fromstring(data, parser=parser)
    hrefs = [a.get("href") for a in tree.iter("a")]
else:
    parser = lxml.etree.HTMLParser(target=HrefTarget(), huge_tree=True, encoding="latin-1")
    hrefs = lxml.etree.fromstring(data, parser)
wall = time.perf_counter() - wall
cpu = time.process_time() - cpu
peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
mb = len(data) / 1e6
print(f"lxml {mode:6} {mb / cpu:6.1f} MB/s CPU ({cpu:.2f} s), {mb / wall:6.1f} MB/s wall "
      f"({wall:.2f} s), peak RSS {peak_mb:.0f} MB, links {len(hrefs)}")
