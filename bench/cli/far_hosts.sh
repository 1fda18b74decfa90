#!/usr/bin/env bash
# movrek-cli against hosts 50 ms away: a latency relay (25 ms each way) in
# front of a local nginx, one relay per loopback host, HTTPS. In the same run:
#  1. 200 pages of one host with --jobs 4: kept connections, --no-keep-alive,
#     and wget2 --max-threads=4 over HTTP/1.1 on the same list;
#  2. 2,000 pages over four hosts with --jobs 16, beside xargs -P 16 curl.
# Medians of wall seconds, and the connections the relays accepted per run.
#   bench/cli/far_hosts.sh MOVREK_CLI LATENCY_RELAY WORK_DIR [ROUNDS]
set -euo pipefail
cli=$(realpath "$1")
relay=$(realpath "$2")
work=$(realpath "$3")/far
rounds=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/far_relays.sh"
start_far_hosts "$work" "$relay"

one="$work/out/one-host.txt"
: >"$one"
for i in $(seq 0 199); do echo "https://127.0.0.1:${relay_port[0]}/page/$i.html" >>"$one"; done
four="$work/out/four-hosts.txt"
: >"$four"
for i in $(seq 0 1999); do
  n=$((i % 4))
  echo "https://${hosts[n]}:${relay_port[n]}/page/$i.html" >>"$four"
done

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# run LABEL ROUNDS COMMAND...: median wall seconds, connections per run.
run() {
  local label=$1 n=$2; shift 2
  local log="$work/out/time.log" before after
  : >"$log"
  before=$(connections)
  for _ in $(seq "$n"); do
    rm -rf "$work/out/wget"
    /usr/bin/time -a -o "$log" -f "%e" "$@" >"$work/out/stdout.txt" 2>"$work/out/stderr.txt"
  done
  after=$(connections)
  printf '%-44s wall %6ss  connections %5s per run\n' "$label" "$(median <"$log")" \
    "$(((after - before) / n))"
}

echo "200 HTTPS pages of one host 50 ms away; medians of $rounds"
run "movrek-cli --jobs 4 (kept connections)" "$rounds" "$cli" -k --no-delay --jobs 4 "$one"
echo "  ($(grep -c '^#===========#' "$work/out/stdout.txt") block lines, $(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"
run "movrek-cli --jobs 4 --no-keep-alive" "$rounds" "$cli" -k --no-delay --jobs 4 --no-keep-alive "$one"
run "wget2 --max-threads=4 --no-http2" "$rounds" wget2 -q --no-http2 --max-threads=4 \
  --no-check-certificate --no-robots -P "$work/out/wget" -i "$one"
echo
echo "2,000 HTTPS pages over 4 hosts 50 ms away; medians of $rounds"
run "movrek-cli --jobs 16" "$rounds" "$cli" -k --no-delay --jobs 16 "$four"
echo "  ($(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"
run "xargs -P 16 curl -k" "$rounds" \
  sh -c 'xargs -P 16 -n 1 curl -sk -o /dev/null <"$0"' "$four"
