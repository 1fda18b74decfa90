# Sourced by the end-to-end benchmarks: starts nginx on a free loopback port,
# its files in WORK/nginx, serving ROOT with the extra server directives
# given; sets $port and stops nginx when the calling script exits.
#   start_loopback_nginx WORK ROOT [SERVER_DIRECTIVES]
start_loopback_nginx() {
  local work=$1 root=$2 extra=${3:-}
  mkdir -p "$work/nginx/tmp"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  local conf="$work/nginx/nginx.conf"
  cat >"$conf" <<CONF
daemon off; master_process off; worker_processes 1;
pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off; default_type text/html;
  client_body_temp_path $work/nginx/tmp; proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp; uwsgi_temp_path $work/nginx/tmp; scgi_temp_path $work/nginx/tmp;
  server { listen 127.0.0.1:$port; root $root; $extra }
}
CONF
  PATH="$PATH:/usr/sbin" nginx -p "$work/nginx" -c "$conf" >/dev/null 2>&1 &
  nginx_pid=$!
  trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null' EXIT
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
}
