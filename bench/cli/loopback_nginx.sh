# Sourced by the end-to-end benchmarks.
#   write_nginx_conf WORK SERVER_BODY [CONNECTIONS]
#     writes WORK/nginx/nginx.conf: one worker, its files in WORK/nginx, one
#     server with the directives given;
#   launch_nginx WORK      starts it in the background, sets $nginx_pid;
#   start_loopback_nginx WORK ROOT [SERVER_DIRECTIVES]
#     serves ROOT on a free loopback port with the extra directives given;
#     sets $port and stops nginx when the calling script exits.
write_nginx_conf() {
  local work=$1 server=$2 connections=${3:-64}
  mkdir -p "$work/nginx/tmp"
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1;
pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events { worker_connections $connections; }
http {
  access_log off; default_type text/html;
  client_body_temp_path $work/nginx/tmp; proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp; uwsgi_temp_path $work/nginx/tmp; scgi_temp_path $work/nginx/tmp;
  server { $server }
}
CONF
}

launch_nginx() {
  PATH="$PATH:/usr/sbin" nginx -p "$1/nginx" -c "$1/nginx/nginx.conf" >/dev/null 2>&1 &
  nginx_pid=$!
}

start_loopback_nginx() {
  local work=$1 root=$2 extra=${3:-}
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  write_nginx_conf "$work" "listen 127.0.0.1:$port; root $root; $extra"
  launch_nginx "$work"
  trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null' EXIT
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
}
