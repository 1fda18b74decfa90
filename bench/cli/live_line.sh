#!/usr/bin/env bash
# What the live progress line costs: movrek-cli --jobs 16 over COUNT
# addresses (four loopback hosts, 50 ms per page) with standard error on a
# real terminal (a tmux pane), --progress and --no-progress taking turns in
# the same run. Medians of wall, user and system seconds.
#   bench/cli/live_line.sh MOVREK_CLI WORK_DIR [ROUNDS] [COUNT]
set -euo pipefail
cli=$(realpath "$1")
work=$(realpath "$2")
rounds=${3:-3}
count=${4:-2000}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/out"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
hosts=(127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4)
socket="$work/out/tmux.socket"
coproc server { exec python3 "$here/../peers/delay_server.py" "$port" 50 "${hosts[@]}"; }
trap 'tmux -S "$socket" kill-server 2>/dev/null; kill $server_PID 2>/dev/null; wait $server_PID 2>/dev/null' EXIT
read -r ready <&"${server[0]}"
[[ $ready == ready ]] || { echo "live_line.sh: the server did not start" >&2; exit 1; }

list="$work/out/list.txt"
: >"$list"
for ((i = 0; i < count; i++)); do
  echo "http://${hosts[i % ${#hosts[@]}]}:$port/page/$i" >>"$list"
done

# once MODE LOG: one run in the pane, standard output to a file.
once() {
  local done="$work/out/done"
  rm -f "$done"
  tmux -S "$socket" send-keys "/usr/bin/time -a -o $2 -f '%e %U %S' $cli --jobs 16 --no-delay $1 \
$list >$work/out/stdout$1.txt; touch $done" Enter
  while [[ ! -e $done ]]; do sleep 0.2; done
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
tmux -S "$socket" -f /dev/null new-session -d -x 160 -y 40
: >"$work/out/on.log"
: >"$work/out/off.log"
for _ in $(seq "$rounds"); do
  once --progress "$work/out/on.log"
  once --no-progress "$work/out/off.log"
done
echo "$count addresses on ${#hosts[@]} hosts, 50 ms per page, --jobs 16; medians of $rounds"
for mode in on off; do
  log="$work/out/$mode.log"
  printf 'live line %-4s wall %7ss  user %6ss  sys %6ss\n' "$mode" \
    "$(cut -d' ' -f1 "$log" | median)" "$(cut -d' ' -f2 "$log" | median)" \
    "$(cut -d' ' -f3 "$log" | median)"
done
cmp -s "$work/out/stdout--progress.txt" "$work/out/stdout--no-progress.txt" &&
  echo "standard output identical with and without the line"
