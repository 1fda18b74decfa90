#!/usr/bin/env bash
# movrek-cli's memory over bodies that never end: --jobs 8 over eight of them
# (four until the close, four chunked) with --max-size 0, each given SECONDS
# by --max-time, every body streamed to its page file at RATE_MB megabytes a
# second. Then 64 such bodies as HTTP/2 streams of one connection. Prints
# wall time and peak memory of each run.
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
# time puts "Command exited with non-zero status N" first when it did.
read -r wall peak < <(tail -n 1 "$log")
echo "8 endless bodies, --max-size 0, --max-time $seconds, $rate MB/s each:" \
  "wall ${wall}s  peak $((peak / 1024)) MB" \
  "($(grep -c 'timed out' "$work/out/endless-stderr.txt") of 8 ended by the time limit;" \
  "$(find "$work/tmp" -type f | wc -l) temporary files left)"

# The same over HTTP/2: 64 endless bodies as streams of one connection (the
# scripted h2 server of the tests), each stream's window bounding what waits.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 2 \
  -keyout "$work/out/h2-key.pem" -out "$work/out/h2-cert.pem" >/dev/null 2>&1
h2_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
/usr/bin/python3 "$here/../../tests/peers/h2_scripted_server.py" endless "$h2_port" \
  "$work/out/h2-cert.pem" "$work/out/h2-key.pem" >"$work/out/h2-server.log" 2>&1 &
h2_pid=$!
trap 'kill $server_PID $h2_pid 2>/dev/null; wait $server_PID $h2_pid 2>/dev/null' EXIT
for _ in $(seq 50); do (echo >"/dev/tcp/127.0.0.1/$h2_port") 2>/dev/null && break; sleep 0.1; done
h2_list="$work/out/endless-h2.txt"
for i in $(seq 64); do echo "https://127.0.0.1:$h2_port/endless/$i"; done >"$h2_list"
TMPDIR="$work/tmp" /usr/bin/time -o "$log" -f "%e %M" "$cli" -k --jobs 64 --per-host 64 --no-delay \
  --max-size 0 --max-time "$seconds" "$h2_list" >/dev/null 2>"$work/out/endless-h2-stderr.txt" || true
# time puts "Command exited with non-zero status N" first when it did.
read -r wall peak < <(tail -n 1 "$log")
echo "64 endless HTTP/2 streams on one connection, --max-size 0, --max-time $seconds:" \
  "wall ${wall}s  peak $((peak / 1024)) MB" \
  "($(grep -c 'timed out' "$work/out/endless-h2-stderr.txt") of 64 ended by the time limit;" \
  "$(($(grep -c connection "$work/out/h2-server.log") - 1)) connection(s);" \
  "$(find "$work/tmp" -type f | wc -l) temporary files left)"
