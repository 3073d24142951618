# Sourced by the update tests after e2e_prefix: a local nginx that answers range requests,
# serving $site ($E2E_WORK/site, with its notes/ folder) on 127.0.0.1:$port (a free port), its
# access log in $E2E_WORK/nginx/access.log ("<status> <bytes sent> "<Range>" <path>");
# $server_pid is the server the test runs, stopped on exit.
site="$E2E_WORK/site"
mkdir -p "$site/notes" "$E2E_WORK/nginx"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
server_pid=""
wait_for_port() {
  local tries
  for tries in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && return 0
    sleep 0.1
  done
  e2e_die "No server started on port $port: $(cat "$E2E_WORK/out/"*server*.log 2>/dev/null)"
}
stop_server() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  server_pid=""
}
start_nginx() {
  local dir=$E2E_WORK/nginx
  : >"$dir/access.log"
  cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
pid $dir/nginx.pid;
events { worker_connections 64; }
http {
  log_format ranges '\$status \$body_bytes_sent "\$http_range" \$uri';
  access_log $dir/access.log ranges;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $site; }
}
CONF
  nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -g 'daemon off;' >>"$E2E_WORK/out/nginx-server.log" 2>&1 &
  server_pid=$!
  wait_for_port
}
trap 'status=$?; stop_server; (exit $status); _e2e_cleanup' EXIT
