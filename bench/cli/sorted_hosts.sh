#!/usr/bin/env bash
# movrek-cli over 2,000 HTTPS pages of four hosts 50 ms away (a latency relay,
# 25 ms each way, per loopback host, in front of one local nginx), --jobs 16:
# the list sorted by host, beside curl --parallel --parallel-max 16 on the
# same list, then the same list shuffled. In the same run; medians of wall
# seconds and of peak memory, and the connections the relays accepted per
# run. The relay adds no round trip of its own to a TLS handshake beyond the
# 50 ms of each exchange.
#   bench/cli/sorted_hosts.sh MOVREK_CLI LATENCY_RELAY WORK_DIR [ROUNDS] [OTHER_CLI]
# OTHER_CLI, when given, runs the sorted list too (another build to compare).
set -euo pipefail
cli=$(realpath "$1")
relay=$(realpath "$2")
work=$(realpath "$3")/sorted
rounds=${4:-3}
other=${5:+$(realpath "$5")}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/far_relays.sh"
start_far_hosts "$work" "$relay"

sorted="$work/out/sorted.txt"
: >"$sorted"
for n in "${!hosts[@]}"; do
  for i in $(seq 0 499); do echo "https://${hosts[n]}:${relay_port[n]}/page/$n-$i.html" >>"$sorted"; done
done
shuffled="$work/out/shuffled.txt"
shuf --random-source=<(yes) "$sorted" >"$shuffled"
curl_config="$work/out/curl.conf"
sed 's/.*/url = "&"\noutput = "\/dev\/null"/' "$sorted" >"$curl_config"

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# run LABEL COMMAND...: medians of wall seconds and peak memory, connections per run.
run() {
  local label=$1; shift
  local log="$work/out/time.log" before after
  : >"$log"
  before=$(connections)
  for _ in $(seq "$rounds"); do
    /usr/bin/time -a -o "$log" -f "%e %M" "$@" >"$work/out/stdout.txt" 2>"$work/out/stderr.txt"
  done
  after=$(connections)
  printf '%-44s wall %6ss  peak %4s MB  connections %4s per run\n' "$label" \
    "$(cut -d' ' -f1 "$log" | median)" "$(($(cut -d' ' -f2 "$log" | median) / 1024))" \
    "$(((after - before) / rounds))"
}
ok() { echo "  ($(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"; }

echo "2,000 HTTPS pages over 4 hosts 50 ms away, --jobs 16; medians of $rounds"
run "movrek-cli --jobs 16, sorted by host" "$cli" -k --jobs 16 "$sorted"
ok
if [[ -n $other ]]; then
  run "$other --jobs 16, sorted by host" "$other" -k --jobs 16 "$sorted"
  ok
fi
run "curl --parallel --parallel-max 16, sorted" curl -sk --http1.1 --parallel --parallel-max 16 \
  -K "$curl_config"
run "movrek-cli --jobs 16, shuffled" "$cli" -k --jobs 16 "$shuffled"
ok
