#!/usr/bin/env bash
# movrek-cli over a long list: COUNT addresses spread over four loopback
# hosts (127.0.0.1 to 127.0.0.4) of a server that answers each page after
# 50 ms. In the same run: --jobs 16, --jobs 1 --no-delay, and xargs -P 16
# running curl -o /dev/null over the same list. Medians of wall, user and
# system seconds and of peak memory (the largest single process).
#   bench/cli/parallel_list.sh MOVREK_CLI WORK_DIR [ROUNDS] [COUNT]
set -euo pipefail
cli=$(realpath "$1")
work=$(realpath "$2")
rounds=${3:-5}
count=${4:-2000}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/out"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
hosts=(127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4)
coproc server { exec python3 "$here/../peers/delay_server.py" "$port" 50 "${hosts[@]}"; }
trap 'kill $server_PID 2>/dev/null; wait $server_PID 2>/dev/null' EXIT
read -r ready <&"${server[0]}"
[[ $ready == ready ]] || { echo "parallel_list.sh: the server did not start" >&2; exit 1; }

list="$work/out/list.txt"
: >"$list"
for ((i = 0; i < count; i++)); do
  echo "http://${hosts[i % ${#hosts[@]}]}:$port/page/$i" >>"$list"
done

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# run LABEL ROUNDS COMMAND...: the medians of ROUNDS runs.
run() {
  local label=$1 n=$2; shift 2
  local log="$work/out/time.log"; : >"$log"
  for _ in $(seq "$n"); do
    /usr/bin/time -a -o "$log" -f "%e %U %S %M" "$@" >"$work/out/stdout.txt" \
      2>"$work/out/stderr.txt"
  done
  printf '%-36s wall %7ss  user %6ss  sys %6ss  peak %6s MB\n' "$label" \
    "$(cut -d' ' -f1 "$log" | median)" "$(cut -d' ' -f2 "$log" | median)" \
    "$(cut -d' ' -f3 "$log" | median)" "$(($(cut -d' ' -f4 "$log" | median) / 1024))"
}

echo "$count addresses on ${#hosts[@]} hosts, 50 ms per page; medians of $rounds (jobs 1: of 1)"
run "movrek-cli --jobs 16 --no-delay" "$rounds" "$cli" --jobs 16 --no-delay "$list"
lines=$(wc -l <"$work/out/stdout.txt")
echo "  ($lines result lines)"
run "xargs -P 16 curl -o /dev/null" "$rounds" \
  sh -c 'xargs -P 16 -n 1 curl -s -o /dev/null <"$0"' "$list"
run "movrek-cli --jobs 1 --no-delay" 1 "$cli" --jobs 1 --no-delay "$list"
