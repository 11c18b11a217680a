#!/usr/bin/env bash
# The LAN transfer benchmark, inside a network namespace of its own (tests/netns-run):
# one desk-lan offers a file natively, another fetches it; one desk-lan pushes the same file into
# another's sink; then nginx serves the same file over HTTPS (TLS 1.3, AES-256-GCM, a throw-away
# certificate) to curl, into the same folder. Prints the three throughputs, the fetch's ratio to
# nginx and the fetching side's peak resident memory, for a 64 MiB and a 1 GiB file.
#
#   bench/bench_lan.sh [BUILD_DIR]     (BUILD_DIR defaults to build/ci; needs root)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/ci}" && pwd)
desk_lan="$build/tools/desk-lan/desk-lan"
[[ -x "$desk_lan" ]] || { echo "bench_lan: build desk-lan first ($desk_lan)" >&2; exit 1; }

if [[ "${DESK_NETNS:-}" != "inside" ]]; then
  exec "$root/tests/netns-run" "$0" "$build"
fi

host=10.213.0.1
id=0123456789abcdef0123456789abcdef
key=$(openssl rand -hex 32)
work=$(mktemp -d "${TMPDIR:-/var/tmp}/bench-lan.XXXXXX")
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
mib_per_s() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / s / 1048576 }'; }

# A free port inside this namespace, picked by the system.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("'$host'", 0)); print(s.getsockname()[1])'; }

# ---- nginx with TLS 1.3 and AES-256-GCM only ----
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj "/CN=$host" \
  -addext "subjectAltName=IP:$host" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
mkdir -p "$work/www" "$work/nginx" "$work/out"
chmod 755 "$work/www" "$work/out"
nginx_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 1;
user root;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  sendfile on;
  server {
    listen $host:$nginx_port ssl;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    ssl_protocols TLSv1.3;
    ssl_conf_command Ciphersuites TLS_AES_256_GCM_SHA384;
    root $work/www;
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)

printf '%-8s %14s %14s %14s %7s %16s %16s\n' size "fetch MiB/s" "push MiB/s" "nginx MiB/s" ratio "desk-lan RSS" "curl RSS"
for mib in 64 1024; do
  file="$work/www/file-$mib.bin"
  head -c $((mib * 1048576)) /dev/urandom >"$file"
  chmod 644 "$file"
  bytes=$((mib * 1048576))
  sync

  # desk-lan offers natively for the whole round; both fetches write into the same folder.
  "$desk_lan" offer "$file" --id "$id" --key "$key" >"$work/offer.out" 2>"$work/offer.err" &
  offer_pid=$!
  pids+=($offer_pid)
  for _ in $(seq 100); do grep -q '^port ' "$work/offer.out" 2>/dev/null && break; sleep 0.05; done
  port=$(awk '/^port / {print $2}' "$work/offer.out")

  run_lan() {
    local start t
    start=$(now)
    /usr/bin/time -v -o "$work/lan.time.$1" "$desk_lan" get "http://$host:$port/$id" --key "$key" \
      --size "$bytes" --name "lan-$mib.bin" --dir "$work/out" >"$work/get.out" 2>"$work/get.err"
    t=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
    cmp -s "$file" "$work/out/lan-$mib.bin" || { echo "bench_lan: desk-lan copy differs" >&2; exit 1; }
    rm -f "$work/out/lan-$mib.bin"
    sync
    [[ "$1" == warm ]] || lan_s=$(awk -v a="$lan_s" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
  }
  # Timed from the push's start (the sink already waits) to the sink's confirmation.
  run_push() {
    local start t sink_pid sink_port
    "$desk_lan" sink --id "$id" --key "$key" --size "$bytes" --name "push-$mib.bin" --dir "$work/out" \
      >"$work/sink.out" 2>"$work/sink.err" &
    sink_pid=$!
    for _ in $(seq 100); do grep -q '^port ' "$work/sink.out" 2>/dev/null && break; sleep 0.05; done
    sink_port=$(awk '/^port / {print $2}' "$work/sink.out")
    start=$(now)
    "$desk_lan" push "http://$host:$sink_port/$id" "$file" --id "$id" --key "$key" 2>"$work/push.err"
    wait "$sink_pid"
    t=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
    cmp -s "$file" "$work/out/push-$mib.bin" || { echo "bench_lan: pushed copy differs" >&2; exit 1; }
    rm -f "$work/out/push-$mib.bin"
    sync
    [[ "$1" == warm ]] || push_s=$(awk -v a="$push_s" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
  }
  run_curl() {
    local start t
    start=$(now)
    /usr/bin/time -v -o "$work/curl.time.$1" curl -sS --fail --tlsv1.3 \
      --tls13-ciphers TLS_AES_256_GCM_SHA384 --cacert "$work/cert.pem" \
      -o "$work/out/curl-$mib.bin" "https://$host:$nginx_port/file-$mib.bin"
    t=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
    cmp -s "$file" "$work/out/curl-$mib.bin" || { echo "bench_lan: curl copy differs" >&2; exit 1; }
    rm -f "$work/out/curl-$mib.bin"
    sync
    [[ "$1" == warm ]] || curl_s=$(awk -v a="$curl_s" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
  }
  # One untimed run of each first: on a virtual machine the first touch of fresh memory for the
  # page cache is slow, and it would penalise whichever runs first. Then three timed runs of
  # each, in alternating order, keeping each one's best.
  lan_s=999999; curl_s=999999; push_s=999999
  run_lan warm; run_push warm; run_curl warm
  run_lan 1; run_push 1; run_curl 1
  run_curl 2; run_push 2; run_lan 2
  run_push 3; run_lan 3; run_curl 3
  rm -f "$work"/lan.time.warm "$work"/curl.time.warm
  kill "$offer_pid"; wait "$offer_pid" 2>/dev/null || true
  rm -f "$file"
  if [[ -n "${BENCH_LAN_VERBOSE:-}" ]]; then
    grep -h -E 'Elapsed|User time|System time' "$work"/lan.time.* "$work"/curl.time.* >&2
  fi
  lan_rss=$(cat "$work"/lan.time.* | awk -F': ' '/Maximum resident set size/ {if ($2 > m) m = $2} END {print m}')
  curl_rss=$(cat "$work"/curl.time.* | awk -F': ' '/Maximum resident set size/ {if ($2 > m) m = $2} END {print m}')

  lan_rate=$(mib_per_s "$bytes" "$lan_s")
  push_rate=$(mib_per_s "$bytes" "$push_s")
  curl_rate=$(mib_per_s "$bytes" "$curl_s")
  ratio=$(awk -v a="$curl_s" -v b="$lan_s" 'BEGIN { printf "%.2f", a / b }')
  printf '%-8s %14s %14s %14s %6sx %12s KiB %12s KiB\n' "${mib}MiB" "$lan_rate" "$push_rate" "$curl_rate" "$ratio" \
    "$lan_rss" "$curl_rss"
done
