# Shared by the benchmark scripts (sourced): free loopback ports and the reference nginx.
# Expects $work (a scratch folder) and sets nginx_port and nginx_pid.

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

wait_port() {
  for _ in $(seq 100); do
    up=$( (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && echo yes || true)
    [ "$up" = yes ] && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# nginx with one worker process and no access log, serving a 5 KB index.html on loopback.
start_nginx() {
  nginx_port="$(free_port)"
  mkdir -p "$work/www" "$work/nginx"
  head -c 5120 /dev/zero | tr '\0' 'x' >"$work/www/index.html"
  chmod 755 "$work" "$work/www"
  chmod 644 "$work/www/index.html"
  cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  default_type text/html;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
  }
}
CONF
  nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" >"$work/nginx/stdout" 2>&1 &
  nginx_pid=$!
  wait_port "$nginx_port"
}
