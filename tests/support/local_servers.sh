# Loopback servers for the responder's benchmark and browser test (sourced).
# Every process started here is recorded in started_pids; stop_local_servers
# ends them (call it from the caller's EXIT trap).
started_pids=()

stop_local_servers() {
  local pid
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started_pids[@]}"; do
    # Bounded: whatever has not ended after 2 s is killed.
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  started_pids=()
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for_port PORT SECONDS: true once something accepts on 127.0.0.1:PORT.
wait_for_port() {
  local tries=$(($2 * 10))
  for _ in $(seq "$tries"); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# wait_for_line FILE TEXT SECONDS
wait_for_line() {
  local tries=$(($3 * 10))
  for _ in $(seq "$tries"); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

responder_ciphers='ALL:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES256-GCM-SHA384:!aNULL:!eNULL:!LOW:!EXPORT:HIGH:!SHA1:!3DES'

# start_nginx_jsonp DIR CERTS PORT: nginx in the foreground of its own folder DIR,
# answering the responder's JSONP body over TLS with the same certificate,
# protocols and ciphers, no session reuse. Sets nginx_pid (the master).
start_nginx_jsonp() {
  local dir=$1 certs=$2 port=$3
  mkdir -p "$dir/body"
  cat > "$dir/nginx.conf" <<EOF
worker_processes 2;
worker_rlimit_nofile 4096;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 2048; }
http {
  access_log off;
  client_body_temp_path $dir/body;
  server {
    listen 127.0.0.1:$port ssl;
    ssl_certificate $certs/locrt;
    ssl_certificate_key $certs/locrk;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_ciphers '$responder_ciphers';
    ssl_session_cache off;
    ssl_session_tickets off;
    location / {
      default_type application/javascript;
      return 200 '\$arg_callback({"message":"Corvanta Already Installed"});';
    }
  }
}
EOF
  nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" -g 'daemon off;' >"$dir/stdout.log" 2>&1 &
  nginx_pid=$!
  started_pids+=("$nginx_pid")
  wait_for_port "$port" 5
}

# start_responder PROGRAM CERTS PORT LOG: the responder on 127.0.0.1:PORT with
# CERTS/locrt and CERTS/locrk, ready once it says it listens. Sets responder_pid.
start_responder() {
  local program=$1 certs=$2 port=$3 log=$4
  [ -x "$program" ] || { echo "no responder program at $program"; return 1; }
  "$program" --folder "$certs" --port "$port" --address 127.0.0.1 >"$log" 2>&1 &
  responder_pid=$!
  started_pids+=("$responder_pid")
  wait_for_line "$log" "listening on 127.0.0.1:$port" 10
}
