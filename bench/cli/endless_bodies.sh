#!/usr/bin/env bash
# movrek-cli's memory over bodies that never end: --jobs 8 over eight of them
# (four until the close, four chunked) with --max-size 0, each given SECONDS
# by --max-time, every body streamed to its page file at RATE_MB megabytes a
# second. Prints wall time, peak memory and the bytes received.
#   bench/cli/endless_bodies.sh MOVREK_CLI WORK_DIR [SECONDS] [RATE_MB]
set -euo pipefail
cli=$(realpath "$1")
work=$(realpath "$2")
seconds=${3:-10}
rate=${4:-25}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/out" "$work/tmp"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
coproc server { exec python3 "$here/../peers/endless_server.py" "$port" "$rate"; }
trap 'kill $server_PID 2>/dev/null; wait $server_PID 2>/dev/null' EXIT
read -r ready <&"${server[0]}"
[[ $ready == ready ]] || { echo "endless_bodies.sh: the server did not start" >&2; exit 1; }

list="$work/out/endless.txt"
: >"$list"
for i in 1 2 3 4; do
  echo "http://127.0.0.1:$port/close/$i" >>"$list"
  echo "http://127.0.0.1:$port/chunked/$i" >>"$list"
done
log="$work/out/endless-time.log"
TMPDIR="$work/tmp" /usr/bin/time -o "$log" -f "%e %M" "$cli" --jobs 8 --per-host 8 --no-delay \
  --max-size 0 --max-time "$seconds" "$list" >/dev/null 2>"$work/out/endless-stderr.txt" || true
read -r wall peak <"$log"
echo "8 endless bodies, --max-size 0, --max-time $seconds, $rate MB/s each:" \
  "wall ${wall}s  peak $((peak / 1024)) MB" \
  "($(grep -c 'timed out' "$work/out/endless-stderr.txt") of 8 ended by the time limit;" \
  "$(find "$work/tmp" -type f | wc -l) temporary files left)"
