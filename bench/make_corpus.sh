#!/usr/bin/env bash
# Writes about SIZE_MB megabytes of real HTML (Debian's Python and PostgreSQL
# documentation, concatenated) to PAGE, unless PAGE is that big already.
#   bench/make_corpus.sh PAGE [SIZE_MB]
set -euo pipefail
page=$1
size_mb=${2:-100}
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
for p in python3.11-doc postgresql-doc-15; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    $SUDO apt-get install -y --no-install-recommends python3.11-doc postgresql-doc-15 >&2
    break
  fi
done
if [[ -s "$page" && $(stat -c %s "$page") -ge $((size_mb * 1000000)) ]]; then exit 0; fi
: >"$page"
mapfile -t files < <(find /usr/share/doc/python3.11/html /usr/share/doc/postgresql-doc-15 \
  -name '*.html' -type f | sort)
((${#files[@]} > 0)) || { echo "no documentation HTML found" >&2; exit 1; }
while (($(stat -c %s "$page") < size_mb * 1000000)); do
  for f in "${files[@]}"; do
    cat "$f" >>"$page"
    (($(stat -c %s "$page") < size_mb * 1000000)) || break
  done
done
