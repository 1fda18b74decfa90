# Sourced by the benchmarks of hosts far away.
#   start_far_hosts WORK RELAY [ONE_WAY_MS] [http2]
#     serves a page of 20 links over HTTPS from a local nginx (files in
#     WORK/nginx; with "http2" it offers HTTP/2 too) and puts a latency relay
#     (ONE_WAY_MS, default 25 ms, each way, the program RELAY)
#     in front of it on each of the loopback hosts 127.0.0.1 to 127.0.0.4;
#     sets $hosts, $relay_port (one per host) and $pids, and stops them all
#     when the calling script exits;
#   connections      prints the connections the relays accepted so far.
source "$(dirname "${BASH_SOURCE[0]}")/loopback_nginx.sh"

start_far_hosts() {
  local work=$1 relay=$2 one_way=${3:-25} http2=${4:+ http2} port links="" listens="" n fd
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  hosts=(127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4)
  mkdir -p "$work/nginx/tmp" "$work/out"
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 2 \
    -keyout "$work/nginx/key.pem" -out "$work/nginx/cert.pem" >/dev/null 2>&1
  for n in "${hosts[@]}"; do listens+="listen $n:$port ssl$http2; "; done
  for n in $(seq 20); do links+="<a href=\\\"/doc/$n.html\\\">link $n</a>\\n"; done
  write_nginx_conf "$work" "$listens
    ssl_certificate $work/nginx/cert.pem; ssl_certificate_key $work/nginx/key.pem;
    location / { return 200 \"<html><body>\n$links</body></html>\n\"; }" 512
  launch_nginx "$work"
  pids=("$nginx_pid")
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null' EXIT
  for _ in $(seq 50); do curl -sk -o /dev/null "https://127.0.0.1:$port/" && break; sleep 0.1; done
  # "count" on a relay's input asks for the connections it accepted.
  relay_in=() relay_out=() relay_port=()
  for n in "${!hosts[@]}"; do
    mkfifo "$work/out/in$n" "$work/out/out$n"
    "$relay" 127.0.0.1 "$port" "$one_way" "${hosts[n]}" <"$work/out/in$n" >"$work/out/out$n" &
    pids+=($!)
    exec {fd}>"$work/out/in$n"
    relay_in[n]=$fd
    exec {fd}<"$work/out/out$n"
    relay_out[n]=$fd
    read -r "relay_port[n]" <&"${relay_out[n]}"
    rm "$work/out/in$n" "$work/out/out$n"
  done
}

connections() {
  local total=0 n count
  for n in "${!hosts[@]}"; do
    echo count >&"${relay_in[n]}"
    read -r count <&"${relay_out[n]}"
    total=$((total + count))
  done
  echo "$total"
}
