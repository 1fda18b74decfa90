#!/usr/bin/env bash
# How often the links movrek-cli lists are the ones a browser follows, on real
# pages: Debian's Python and PostgreSQL documentation served by nginx on
# loopback, listed by movrek-cli, beside the browser reference of the same
# files (parse5 for the tree, Node's URL for the addresses). Prints the share
# of pages whose link list is equal, of links equal, and differences by kind,
# then where each differing page parts (all in WORK_DIR/out/differences.txt).
#   bench/cli/browser_equivalence.sh MOVREK_CLI WORK_DIR [NODE_MODULES]
# NODE_MODULES holds parse5 (default: tests/peers/node/node_modules, else it
# is installed into WORK_DIR/node). bench/make_corpus.sh installs the pages.
set -euo pipefail
cli=$(realpath "$1")
mkdir -p "$2"
work=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
peers="$here/../peers"
source "$here/loopback_nginx.sh"
source "$here/browser_reference.sh"
parse5_modules "$work" "${3:-}"

docs=/usr/share/doc
mapfile -t files < <(find "$docs/python3.11/html" "$docs/postgresql-doc-15" -name '*.html' \
  -type f 2>/dev/null | sort)
((${#files[@]} > 0)) || { echo "no documentation pages: run bench/make_corpus.sh" >&2; exit 1; }

mkdir -p "$work/out"
start_loopback_nginx "$work" "$docs"

write_page_list "$docs" "$work/out" "${files[@]}"
list="$work/out/pages.tsv"

echo "pages: ${#files[@]} from $docs/python3.11/html and $docs/postgresql-doc-15"
start=$(date +%s.%N)
"$cli" --no-delay --jobs 8 --per-host 8 "$work/out/pages.txt" >"$work/out/ours.txt" \
  2>"$work/out/ours.stderr"
echo "movrek-cli: $(echo "$(date +%s.%N) - $start" | bc) s"
start=$(date +%s.%N)
node "$peers/parse5_links.js" "$modules" "$list" >"$work/out/reference.txt"
echo "parse5 and URL: $(echo "$(date +%s.%N) - $start" | bc) s"
node "$here/compare_link_blocks.js" "$work/out/ours.txt" "$work/out/reference.txt"
echo
node "$here/link_differences.js" "$modules" "$list" "$work/out/ours.txt" "$work/out/reference.txt" \
  "$work/out/differences.txt"
