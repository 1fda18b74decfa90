"""Peer for the listing benchmark: lxml parses the page and collects every anchor's href."""
import resource
import sys
import time

import lxml.html

path = sys.argv[1]
start = time.perf_counter()
with open(path, "rb") as f:
    data = f.read()
tree = lxml.html.document_fromstring(data)
hrefs = [a.get("href") for a in tree.iter("a")]
seconds = time.perf_counter() - start
peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
print(f"lxml {len(data) / 1e6 / seconds:.1f} MB/s  {seconds:.2f} s  peak RSS {peak_mb:.0f} MB  links {len(hrefs)}")
