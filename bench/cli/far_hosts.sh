#!/usr/bin/env bash
# movrek-cli against hosts 50 ms away: a latency relay (25 ms each way) in
# front of a local nginx, one relay per loopback host, HTTPS (nginx offers
# HTTP/2 too). In the same run:
#  1. 200 pages of one host with --jobs 4 over HTTP/1.1: kept connections,
#     --no-keep-alive, and wget2 --max-threads=4 on the same list;
#  2. 2,000 pages over four hosts with --jobs 16, beside xargs -P 16 curl;
#  3. 200 pages of one host over HTTP/2 (and --http1.1), with 16 and with 64
#     streams, beside curl --http2 --parallel and wget2 at the same counts.
# Medians of wall seconds, and the connections the relays accepted per run.
# The relay adds its delay to every byte, the TLS handshake's included, but
# no round trip of its own.
#   bench/cli/far_hosts.sh MOVREK_CLI LATENCY_RELAY WORK_DIR [ROUNDS] [ONE_WAY_MS]
set -euo pipefail
cli=$(realpath "$1")
relay=$(realpath "$2")
work=$(realpath "$3")/far
rounds=${4:-3}
one_way=${5:-25}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/far_relays.sh"
start_far_hosts "$work" "$relay" "$one_way" http2

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

rtt=$((2 * one_way))
echo "200 HTTPS pages of one host $rtt ms away, HTTP/1.1; medians of $rounds"
run "movrek-cli --jobs 4 --http1.1 (kept)" "$rounds" "$cli" -k --no-delay --jobs 4 --http1.1 "$one"
echo "  ($(grep -c '^#===========#' "$work/out/stdout.txt") block lines, $(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"
run "movrek-cli --jobs 4 --no-keep-alive" "$rounds" "$cli" -k --no-delay --jobs 4 --no-keep-alive "$one"
run "wget2 --max-threads=4 --no-http2" "$rounds" wget2 -q --no-http2 --max-threads=4 \
  --no-check-certificate --no-robots -P "$work/out/wget" -i "$one"
echo
echo "2,000 HTTPS pages over 4 hosts $rtt ms away; medians of $rounds"
run "movrek-cli --jobs 16" "$rounds" "$cli" -k --no-delay --jobs 16 "$four"
echo "  ($(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"
run "xargs -P 16 curl -k" "$rounds" \
  sh -c 'xargs -P 16 -n 1 curl -sk -o /dev/null <"$0"' "$four"

# curl takes its many addresses from a config file, each with its own output.
curl_list="$work/out/one-host.curl"
sed 's/.*/url = "&"\noutput = "\/dev\/null"/' "$one" >"$curl_list"
echo
echo "200 HTTPS pages of one host $rtt ms away, HTTP/2; medians of $rounds"
run "movrek-cli --jobs 16 (defaults)" "$rounds" "$cli" -k --no-delay --jobs 16 "$one"
echo "  ($(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"
run "movrek-cli --jobs 16 --http1.1" "$rounds" "$cli" -k --no-delay --jobs 16 --http1.1 "$one"
run "curl --http2 --parallel-max 16" "$rounds" \
  curl -sk --http2 --parallel --parallel-max 16 --config "$curl_list"
run "wget2 --max-threads=16 (HTTP/2)" "$rounds" wget2 -q --max-threads=16 \
  --no-check-certificate --no-robots -P "$work/out/wget" -i "$one"
run "movrek-cli --jobs 64 --per-host 64" "$rounds" "$cli" -k --no-delay --jobs 64 --per-host 64 "$one"
echo "  ($(grep -c '^OK : ' "$work/out/stderr.txt") pages OK)"
run "curl --http2 --parallel-max 64" "$rounds" \
  curl -sk --http2 --parallel --parallel-max 64 --config "$curl_list"
