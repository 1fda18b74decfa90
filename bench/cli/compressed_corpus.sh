#!/usr/bin/env bash
# The documentation corpus of bench/make_corpus.sh (Debian's Python and
# PostgreSQL HTML, one address per file) served by a local nginx with gzip
# on: the bytes on the wire and the wall time of movrek-cli --jobs 8 with
# compression (its default) and with --no-compression, beside xargs -P 8
# running curl --compressed over the same list. Medians of ROUNDS.
#   bench/cli/compressed_corpus.sh MOVREK_CLI WORK_DIR [ROUNDS]
set -euo pipefail
cli=$(realpath "$1")
work=$(realpath "$2")
rounds=${3:-3}
mkdir -p "$work/gzip-nginx/tmp" "$work/out"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
conf="$work/gzip-nginx/nginx.conf"
log="$work/gzip-nginx/access.log"
cat >"$conf" <<CONF
daemon off; master_process off; worker_processes 1;
pid $work/gzip-nginx/nginx.pid; error_log $work/gzip-nginx/error.log;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  log_format wire '\$bytes_sent';
  access_log $log wire;
  client_body_temp_path $work/gzip-nginx/tmp; proxy_temp_path $work/gzip-nginx/tmp;
  fastcgi_temp_path $work/gzip-nginx/tmp; uwsgi_temp_path $work/gzip-nginx/tmp;
  scgi_temp_path $work/gzip-nginx/tmp;
  # movrek-cli speaks HTTP/1.0.
  gzip on; gzip_http_version 1.0;
  server { listen 127.0.0.1:$port; root /usr/share/doc; }
}
CONF
PATH="$PATH:/usr/sbin" nginx -p "$work/gzip-nginx" -c "$conf" >/dev/null 2>&1 &
nginx_pid=$!
trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null' EXIT
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

list="$work/out/corpus.txt"
find -L /usr/share/doc/python3.11/html /usr/share/doc/postgresql-doc-15 -name '*.html' -type f |
  sort | sed "s|^/usr/share/doc|http://127.0.0.1:$port|" >"$list"

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# run LABEL COMMAND...: medians of wall time and of the bytes nginx sent.
run() {
  local label=$1; shift
  local times="$work/out/corpus-time.log" bytes="$work/out/corpus-bytes.log"
  : >"$times"; : >"$bytes"
  for _ in $(seq "$rounds"); do
    : >"$log"
    /usr/bin/time -a -o "$times" -f "%e %M" "$@" >/dev/null 2>"$work/out/corpus-stderr.txt"
    sleep 0.2
    awk '{s += $1} END {print s}' "$log" >>"$bytes"
  done
  printf '%-40s wall %6ss  peak %5s MB  on the wire %6s MB\n' "$label" \
    "$(cut -d' ' -f1 "$times" | median)" "$(($(cut -d' ' -f2 "$times" | median) / 1024))" \
    "$(median <"$bytes" | awk '{printf "%.1f", $1 / 1e6}')"
}

echo "$(wc -l <"$list") pages, $(find -L /usr/share/doc/python3.11/html /usr/share/doc/postgresql-doc-15 \
  -name '*.html' -type f -printf '%s\n' | awk '{s += $1} END {printf "%.1f", s / 1e6}') MB; medians of $rounds"
run "movrek-cli --jobs 8 (gzip asked for)" "$cli" --jobs 8 --per-host 8 --no-delay "$list"
run "movrek-cli --jobs 8 --no-compression" "$cli" --jobs 8 --per-host 8 --no-delay \
  --no-compression "$list"
run "xargs -P 8 curl --compressed" \
  sh -c 'xargs -P 8 -n 1 curl -s --compressed -o /dev/null <"$0"' "$list"
run "xargs -P 8 curl" sh -c 'xargs -P 8 -n 1 curl -s -o /dev/null <"$0"' "$list"
