#!/usr/bin/env bash
# movrek-cli end to end against a local nginx, beside the peers in the same
# run: a 100 MB page of real HTML (htmlparser2 listing the same file from
# disk), and a 512 MiB body of NUL bytes, counted and sent until close
# (curl -0 -o FILE). Each command runs ROUNDS times as its own process;
# the medians of wall, user and system seconds and of peak memory are printed.
#   bench/cli/end_to_end.sh MOVREK_CLI WORK_DIR [ROUNDS]
# WORK_DIR holds page.html (bench/make_corpus.sh) and node/node_modules with
# htmlparser2 (scripts/bench installs both).
set -euo pipefail
cli=$(realpath "$1")
work=$(realpath "$2")
rounds=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
peers="$here/../peers"

www="$work/www"
mkdir -p "$www" "$work/out"
[[ -s "$www/page.html" ]] || ln -f "$work/page.html" "$www/page.html" 2>/dev/null ||
  cp "$work/page.html" "$www/page.html"
[[ $(stat -c %s "$www/zero.bin" 2>/dev/null || echo 0) -eq 536870912 ]] ||
  head -c 536870912 /dev/zero >"$www/zero.bin"

: >"$www/empty.txt"
# The same file without a length (the addition filter drops it and adds an
# empty file): to an HTTP/1.0 client the body runs until the close.
source "$here/loopback_nginx.sh"
start_loopback_nginx "$work" "$www" "location = /zero-until-close.bin { alias $www/zero.bin;
  add_after_body /empty.txt; addition_types *; }"

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# run LABEL COMMAND...: ROUNDS runs, then the medians.
run() {
  local label=$1; shift
  local log="$work/out/time.log"; : >"$log"
  for _ in $(seq "$rounds"); do
    /usr/bin/time -a -o "$log" -f "%e %U %S %M" "$@" >/dev/null 2>"$work/out/stderr.txt"
  done
  printf '%-34s wall %6ss  user %6ss  sys %6ss  peak %7s MB\n' "$label" \
    "$(cut -d' ' -f1 "$log" | median)" "$(cut -d' ' -f2 "$log" | median)" \
    "$(cut -d' ' -f3 "$log" | median)" "$(($(cut -d' ' -f4 "$log" | median) / 1024))"
}

echo "http://127.0.0.1:$port/page.html" >"$work/out/page.txt"
echo "http://127.0.0.1:$port/zero.bin" >"$work/out/zero.txt"
echo "http://127.0.0.1:$port/zero-until-close.bin" >"$work/out/zero-close.txt"
echo "page: $(stat -c %s "$www/page.html") bytes; body: 536870912 NUL bytes; medians of $rounds"
# --max-size 0: every byte of the page and of the bodies, past the default
# bound of 64 MiB.
run "movrek-cli 100 MB page" "$cli" --no-delay --max-size 0 "$work/out/page.txt"
NODE_PATH="$work/node/node_modules" run "htmlparser2 same file from disk" \
  node "$peers/htmlparser2_hrefs.js" "$www/page.html"
run "movrek-cli 512 MiB counted" "$cli" --no-delay --max-size 0 "$work/out/zero.txt"
run "curl -0 -o FILE counted" curl -s -0 -o "$work/out/curl.bin" "http://127.0.0.1:$port/zero.bin"
run "movrek-cli 512 MiB until close" "$cli" --no-delay --max-size 0 "$work/out/zero-close.txt"
run "curl -0 -o FILE until close" curl -s -0 -o "$work/out/curl.bin" \
  "http://127.0.0.1:$port/zero-until-close.bin"
rm -f "$work/out/curl.bin"
