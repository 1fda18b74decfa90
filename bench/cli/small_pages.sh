#!/usr/bin/env bash
# Fifty small local pages (twenty links each) from a local nginx, listed in
# turn by each tool in the same run: movrek-cli with its defaults; wget2
# fetching the same list in one process (-i), once storing the pages as it
# does by default and once only reading them (-O /dev/null); and lynx -dump
# -listonly once per page, as a shell loop would. Each tool runs ROUNDS
# times, taking turns, its standard output and error thrown away, and the
# median wall time of each is printed, fastest first.
#   bench/cli/small_pages.sh MOVREK_CLI WORK_DIR [ROUNDS]
set -euo pipefail
cli=$(realpath "$1")
mkdir -p "$2"
work=$(realpath "$2")/small
rounds=${3:-7}
here=$(cd "$(dirname "$0")" && pwd)
www="$work/www"
mkdir -p "$www" "$work/out"

for ((p = 0; p < 50; p++)); do
  {
    echo "<!DOCTYPE html><html><head><title>Page $p</title></head><body><h1>Page $p</h1><ul>"
    for ((l = 0; l < 20; l++)); do
      echo "<li><a href=\"page$(((p + l + 1) % 50)).html#s$l\">Section $l of page $(((p + l + 1) % 50))</a></li>"
    done
    echo "</ul><p>Some text between the links, as a real page has.</p></body></html>"
  } >"$www/page$p.html"
done

source "$here/loopback_nginx.sh"
start_loopback_nginx "$work" "$www"
list="$work/out/list.txt"
for ((p = 0; p < 50; p++)); do echo "http://127.0.0.1:$port/page$p.html"; done >"$list"

lynx_loop() {
  local url
  while read -r url; do lynx -dump -listonly "$url"; done <"$list"
}
wget2_files() {
  rm -rf "$work/out/wget2"
  wget2 -q --no-robots -P "$work/out/wget2" -i "$list"
}
wget2_read() { wget2 -q --no-robots -O /dev/null -i "$list"; }
movrek() { "$cli" "$list"; }

tools=(movrek wget2_files wget2_read lynx_loop)
labels=("movrek-cli (defaults)" "wget2 -i list" "wget2 -O /dev/null -i list"
  "lynx -dump -listonly, loop")
# Once, its output kept: every tool works, and movrek-cli lists every page.
for tool in "${tools[@]}"; do
  "$tool" >"$work/out/$tool.stdout" 2>"$work/out/$tool.stderr" ||
    { echo "small_pages.sh: $tool failed, see $work/out/$tool.stderr" >&2; exit 1; }
  : >"$work/out/$tool.ms"
done
[[ $(grep -c '^#===========#' "$work/out/movrek.stdout") -eq 100 ]] ||
  { echo "small_pages.sh: movrek-cli did not list 50 pages" >&2; exit 1; }
# Timed with every output thrown away alike, so that no tool pays for the
# file system the others write to.
# Each round starts with the next tool, so that none always follows the same.
for ((r = 0; r < rounds; r++)); do
  for ((i = 0; i < ${#tools[@]}; i++)); do
    tool=${tools[(r + i) % ${#tools[@]}]}
    start=$(date +%s%N)
    "$tool" >/dev/null 2>&1
    echo $((($(date +%s%N) - start) / 1000)) >>"$work/out/$tool.ms"
  done
done

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
echo "50 local pages of 20 links each; median wall time of $rounds rounds"
for i in "${!tools[@]}"; do
  printf '%s\t%s\n' "$(median <"$work/out/${tools[i]}.ms")" "${labels[i]}"
done | sort -n | awk -F'\t' '{printf "  %-30s %9.1f ms\n", $2, $1 / 1000}'
