# Shared by the benchmark scripts (sourced): a scratch folder, a demo root of our own, free
# loopback ports and the reference nginx.

# Makes the scratch folder $work and ends both servers ($ours_pid, $nginx_pid) and removes
# it when the script exits.
bench_scratch() {
  work="$(mktemp -d)"
  ours_pid=""
  nginx_pid=""
  trap bench_cleanup EXIT
}
bench_cleanup() {
  [ -n "$ours_pid" ] && kill "$ours_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  [ -n "${quiet_pid:-}" ] && kill "$quiet_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}

# The session identifier of the Set-Cookie in the response headers on standard input.
session_cookie() {
  tr -d '\r' | sed -n 's/^[Ss]et-[Cc]ookie: vistrel_session=\([0-9]*\).*/\1/p'
}

# Logs in by posting the login form to the server at $1 (http://host:port) as $2 with the
# password $3; prints "<session id>:<cookie secret>": links name the id, and the id counts
# only together with the cookie. Empty when the login failed.
log_in() {
  local answer id secret
  answer="$(curl -s -i -d "username=$2&password=$3" "$1/?session=5072913846&page=1&action=16")"
  secret="$(session_cookie <<<"$answer")"
  id="$(grep -o '[?&]session=[0-9]*' <<<"$answer" | grep -v 'session=5072913846' | head -1 | cut -d= -f2)"
  [ -n "$secret" ] && [ -n "$id" ] && echo "$id:$secret"
}

# A demo root at $root ($work/root) served on the free port $ours_port.
lay_out_root() {
  root="$work/root"
  bash scripts/make-root.sh "$root" build/release >/dev/null
  ours_port="$(free_port)"
  sed -i "s/^\[server.port\]\[[0-9]*\]/[server.port][$ours_port]/" "$root/config/config.cfg"
}

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

# The median of the numbers on standard input (separated by blanks or lines).
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}'; }
