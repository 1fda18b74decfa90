#!/usr/bin/env bash
# How often the anchor text movrek-cli lists (--with-text) is the text a
# browser shows, on real pages: Debian's Python and PostgreSQL documentation
# served by nginx on loopback, listed with --format jsonl --with-text, beside
# parse5's tree of the same files (textContent collapsed and cut, or the
# first alt that is not blank). Prints the share of anchor texts equal and
# the differences by kind; WORK_DIR/out/text-differences.txt holds each one.
#   bench/cli/anchor_text_agreement.sh MOVREK_CLI WORK_DIR [NODE_MODULES]
# NODE_MODULES holds parse5 (default: tests/peers/node/node_modules, else it
# is installed into WORK_DIR/node). bench/make_corpus.sh installs the pages.
set -euo pipefail
cli=$(realpath "$1")
mkdir -p "$2"
work=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
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

echo "pages: ${#files[@]} from $docs/python3.11/html and $docs/postgresql-doc-15"
"$cli" --jobs 8 --per-host 8 --format jsonl --with-text "$work/out/pages.txt" \
  >"$work/out/texts.jsonl" 2>"$work/out/texts.stderr" || true
node "$here/compare_anchor_texts.js" "$modules" "$work/out/pages.tsv" "$work/out/texts.jsonl" \
  "$work/out/text-differences.txt"
