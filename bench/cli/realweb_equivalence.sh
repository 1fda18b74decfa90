#!/usr/bin/env bash
# How often the links movrek-cli lists are the ones a browser follows, on
# pages saved from real news, blog and shop sites (scripts, comments,
# conditional comments, inline SVG): served by nginx on loopback as UTF-8
# (the header names the charset, as their sites sent it, and wins over a
# <meta charset> the page kept), listed by movrek-cli, beside the browser
# reference (parse5 for the tree, Node's URL for the addresses). Prints the
# share of pages and links equal, then each differing page with its first
# differences and where they are in the page; WORK_DIR/out/differences.txt
# holds every one. WORK_DIR/pages and WORK_DIR/out are made afresh.
#   bench/cli/realweb_equivalence.sh MOVREK_CLI WORK_DIR [PAGES_ARCHIVE [NODE_MODULES]]
# PAGES_ARCHIVE: a .tar.xz of .html files (default: the shared realweb corpus).
set -euo pipefail
cli=$(realpath "$1")
mkdir -p "$2"
work=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
peers="$here/../peers"
archive=${3:-$here/../../../shared/corpora/realweb-pages.tar.xz}
[[ -f "$archive" ]] || { echo "no page archive at $archive" >&2; exit 1; }
source "$here/loopback_nginx.sh"
source "$here/browser_reference.sh"
parse5_modules "$work" "${4:-}"

root="$work/pages"
rm -rf "$root" "$work/out"
mkdir -p "$root" "$work/out"
tar -xJf "$archive" -C "$root"
mapfile -t files < <(find "$root" -name '*.html' -type f | sort)
((${#files[@]} > 0)) || { echo "no .html pages in $archive" >&2; exit 1; }

# Without a types table every file is text/html; charset adds the parameter.
start_loopback_nginx "$work" "$root" "charset utf-8;"

write_page_list "$root" "$work/out" "${files[@]}"
list="$work/out/pages.tsv"

echo "pages: ${#files[@]} from $(basename "$archive"), served as text/html; charset=utf-8"
start=$(date +%s.%N)
status=0
"$cli" --no-delay --jobs 8 --per-host 8 --max-size 0 --max-time 0 --retries 0 \
  "$work/out/pages.txt" >"$work/out/ours.txt" 2>"$work/out/ours.stderr" || status=$?
echo "movrek-cli: $(echo "$(date +%s.%N) - $start" | bc) s, exit $status; $(tail -n 1 "$work/out/ours.stderr")"
# A page that was not read would count as a difference of the listing.
if grep -qv '^OK : ' <(grep -v -e '\[List number: ' -e '^[0-9,]* pages\?, ' "$work/out/ours.stderr"); then
  echo "movrek-cli did not read every page (see $work/out/ours.stderr):" >&2
  grep -v -e '\[List number: ' -e '^OK : ' -e '^[0-9,]* pages\?, ' "$work/out/ours.stderr" | head >&2
fi
# The reference depends only on the pages and the peer: kept in WORK_DIR with
# the port left out, it serves the next run at once.
key=$(cat "$archive" "$peers/parse5_links.js" "$modules/parse5/package.json" | sha256sum | cut -c1-16)
cached="$work/reference-$key.txt"
if [[ ! -f "$cached" ]]; then
  start=$(date +%s.%N)
  node "$peers/parse5_links.js" "$modules" "$list" utf-8 | sed "s|//127.0.0.1:$port/|//127.0.0.1:PORT/|g" \
    >"$cached.part"
  mv "$cached.part" "$cached"
  echo "parse5 and URL: $(echo "$(date +%s.%N) - $start" | bc) s"
fi
sed "s|//127.0.0.1:PORT/|//127.0.0.1:$port/|g" "$cached" >"$work/out/reference.txt"
node "$here/compare_link_blocks.js" "$work/out/ours.txt" "$work/out/reference.txt"
echo
node "$here/link_differences.js" "$modules" "$list" "$work/out/ours.txt" "$work/out/reference.txt" \
  "$work/out/differences.txt" utf-8
