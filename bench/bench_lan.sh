#!/usr/bin/env bash
# The LAN transfer benchmark, inside a network namespace of its own (tests/netns-run).
#
# Every round measures, in this order: the machine's floors (bench/lan_floors: page-cache read
# and write, OpenSSL's AES-256-GCM seal and open on 1 MiB blocks, a plain TCP copy); a fetch
# from a desk-lan offer process that has just started (cold: the first transfer of the process),
# then fetches from the same process (steady); a push into a desk-lan sink, where desk-lan has
# one; nginx serving the file over HTTPS (TLS 1.3, AES-256-GCM) to curl; and sshd serving it to
# scp with aes256-gcm@openssh.com. Each side's CPU time comes from the kernel's rusage
# accounting (wait4 for the process that ends, /proc/PID/stat for the server that keeps running),
# so the figures are CPU-seconds per GiB: steadier than wall time on a shared machine. Prints the
# median of the rounds: throughput, each side's CPU-s/GiB and its ratio to the floor of that
# side, and the peak resident memory.
#
#   bench/bench_lan.sh [[LABEL=]BUILD_DIR ...]     (needs root; BUILD_DIR defaults to build/ci)
#
# With several builds (say before=build/old after=build/ci) their runs alternate within every
# round. BENCH_LAN_MIB (file size, default 1024), BENCH_LAN_ROUNDS (default 3) and
# BENCH_LAN_STEADY (steady fetches per round and build, default 2) change the amounts.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [[ "${DESK_NETNS:-}" != "inside" ]]; then
  args=()
  for arg in "${@:-$root/build/ci}"; do
    if [[ $arg == *=* ]]; then
      args+=("${arg%%=*}=$(cd "${arg#*=}" && pwd)")
    else
      args+=("$(cd "$arg" && pwd)")
    fi
  done
  exec "$root/tests/netns-run" "$0" "${args[@]}"
fi

labels=()
programs=()
floors_tool=
for arg in "$@"; do
  dir=${arg#*=}
  label=desk-lan
  if [[ $arg == *=* ]]; then label=${arg%%=*}; elif (($# > 1)); then label=$(basename "$dir"); fi
  [[ -x "$dir/tools/desk-lan/desk-lan" ]] || { echo "bench_lan: no desk-lan in $dir (build it first)" >&2; exit 1; }
  labels+=("$label")
  programs+=("$dir/tools/desk-lan/desk-lan")
  [[ -n "$floors_tool" || ! -x "$dir/bench/lan_floors" ]] || floors_tool=$dir/bench/lan_floors
done
[[ -n "$floors_tool" || ! -x "$root/build/ci/bench/lan_floors" ]] || floors_tool=$root/build/ci/bench/lan_floors
[[ -n "$floors_tool" ]] || { echo "bench_lan: build lan_floors first (cmake --build --preset ci --target lan_floors)" >&2; exit 1; }
for tool in nginx curl /usr/sbin/sshd scp ssh-keygen /usr/bin/time openssl; do
  command -v "$tool" >/dev/null || { echo "bench_lan: $tool is missing (scripts/setup --test)" >&2; exit 1; }
done

mib=${BENCH_LAN_MIB:-1024}
rounds=${BENCH_LAN_ROUNDS:-3}
steady=${BENCH_LAN_STEADY:-2}
bytes=$((mib * 1048576))
host=10.213.0.1
id=$(openssl rand -hex 16)
key=$(openssl rand -hex 32)
tick=$(getconf CLK_TCK)
work=$(mktemp -d "${TMPDIR:-/var/tmp}/bench-lan.XXXXXX")
chmod 755 "$work"
mkdir -p "$work/www" "$work/out" "$work/nginx" "$work/ssh"
chmod 755 "$work/www" "$work/out"
file="$work/www/file.bin"
results="$work/results"
pids=()
made_privsep=0
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if ((made_privsep)); then rmdir /run/sshd 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
# CPU time of a running process and its threads (and, with "children", of the children it has
# waited for), in clock ticks.
ticks() { awk -v c="${2:-}" '{ print $14 + $15 + (c == "children" ? $16 + $17 : 0) }' "/proc/$1/stat"; }
peak_kib() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }
wait_port() {
  for _ in $(seq 200); do grep -q '^port ' "$1" 2>/dev/null && break; sleep 0.05; done
  awk '/^port / { print $2 }' "$1"
}
check_copy() {
  cmp -s "$file" "$1" || { echo "bench_lan: $2 copy differs" >&2; exit 1; }
  rm -f "$1"
  sync
}
# row: name wall-seconds sender-cpu-seconds receiver-cpu-seconds sender-KiB receiver-KiB
record() { echo "$*" >>"$results"; }
# /usr/bin/time's figures: elapsed user system max-RSS.
timed() { local out=$1; shift; /usr/bin/time -f '%e %U %S %M' -o "$out" "$@"; }
cpu_of() { awk '{ print $2 + $3 }' "$1"; }
rss_of() { awk '{ print $4 }' "$1"; }

# ---- the file, and the machine's load while the benchmark runs ----
head -c "$bytes" /dev/urandom >"$file"
chmod 644 "$file"
sync
read -r load_start _ </proc/loadavg
read -r _ u0 n0 s0 i0 w0 q0 sq0 st0 _ </proc/stat

# ---- nginx with TLS 1.3 and AES-256-GCM only ----
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("'$host'", 0)); print(s.getsockname()[1])'; }
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj "/CN=$host" \
  -addext "subjectAltName=IP:$host" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
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
nginx_pid=$!
pids+=("$nginx_pid")

# ---- sshd of its own: host key, client key and configuration in the work folder ----
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/client_key"
cp "$work/ssh/client_key.pub" "$work/ssh/authorized_keys"
ssh_port=$(free_port)
echo "[$host]:$ssh_port $(cut -d' ' -f1,2 "$work/ssh/host_key.pub")" >"$work/ssh/known_hosts"
cat >"$work/ssh/sshd_config" <<CONF
ListenAddress $host:$ssh_port
HostKey $work/ssh/host_key
PidFile $work/ssh/sshd.pid
AuthorizedKeysFile $work/ssh/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Ciphers aes256-gcm@openssh.com
Subsystem sftp /usr/lib/openssh/sftp-server
LogLevel ERROR
CONF
# sshd insists on its privilege separation folder; it is made only when missing, and removed again.
if [[ ! -d /run/sshd ]]; then mkdir -m 755 /run/sshd; made_privsep=1; fi
/usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" 2>"$work/ssh/sshd.err" &
sshd_pid=$!
pids+=("$sshd_pid")
ssh_options=(-F /dev/null -i "$work/ssh/client_key" -o IdentitiesOnly=yes -o BatchMode=yes
             -o UserKnownHostsFile="$work/ssh/known_hosts" -o StrictHostKeyChecking=yes)
for _ in $(seq 100); do
  curl -s -o /dev/null --max-time 1 "https://$host:$nginx_port/" -k && break
  sleep 0.05
done

# ---- one transfer of each kind ----
offer_pids=()
start_offers() {
  offer_pids=()
  for b in "${!programs[@]}"; do
    "${programs[$b]}" offer "$file" --id "$id" --key "$key" >"$work/offer.$b.out" 2>"$work/offer.$b.err" &
    offer_pids[$b]=$!
    pids+=($!)
  done
  for b in "${!programs[@]}"; do offer_ports[$b]=$(wait_port "$work/offer.$b.out"); done
}
stop_offers() {
  for b in "${!programs[@]}"; do kill "${offer_pids[$b]}"; wait "${offer_pids[$b]}" 2>/dev/null || true; done
}
offer_ports=()
fetch() {
  local b=$1 kind=$2 pid=${offer_pids[$1]} t0 t1 c0 c1
  c0=$(ticks "$pid")
  t0=$(now)
  timed "$work/get.time" "${programs[$b]}" get "http://$host:${offer_ports[$b]}/$id" --key "$key" \
    --size "$bytes" --name lan.bin --dir "$work/out" >/dev/null 2>"$work/get.err" \
    || { echo "bench_lan: ${labels[$b]} fetch failed: $(cat "$work/get.err")" >&2; exit 1; }
  t1=$(now)
  c1=$(ticks "$pid")
  record "${labels[$b]}-fetch-$kind" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN { print (b - a) / t }')" \
    "$(cpu_of "$work/get.time")" "$(peak_kib "$pid")" "$(rss_of "$work/get.time")"
  check_copy "$work/out/lan.bin" "${labels[$b]} fetch"
}
# Builds older than desk-lan's push have no push to measure. The usage text ends with a failure
# status, which pipefail would carry past grep: it is caught first.
can_push() { local usage; usage=$("${programs[$1]}" 2>&1 || true); [[ $usage == *'desk-lan push'* ]]; }
push() {
  local b=$1 t0 t1 sink_pid
  timed "$work/sink.time" "${programs[$b]}" sink --id "$id" --key "$key" --size "$bytes" --name push.bin \
    --dir "$work/out" >"$work/sink.out" 2>"$work/sink.err" &
  sink_pid=$!
  pids+=("$sink_pid")
  local port
  port=$(wait_port "$work/sink.out")
  t0=$(now)
  timed "$work/push.time" "${programs[$b]}" push "http://$host:$port/$id" "$file" --id "$id" --key "$key" \
    2>"$work/push.err" || { echo "bench_lan: ${labels[$b]} push failed: $(cat "$work/push.err")" >&2; exit 1; }
  wait "$sink_pid" || { echo "bench_lan: ${labels[$b]} sink failed: $(cat "$work/sink.err")" >&2; exit 1; }
  t1=$(now)
  record "${labels[$b]}-push" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    "$(cpu_of "$work/push.time")" "$(cpu_of "$work/sink.time")" "$(rss_of "$work/push.time")" "$(rss_of "$work/sink.time")"
  check_copy "$work/out/push.bin" "${labels[$b]} pushed"
}
nginx_worker() { pgrep -P "$nginx_pid" | head -1; }
curl_run() {
  local worker t0 t1 c0 c1
  worker=$(nginx_worker)
  c0=$(ticks "$worker")
  t0=$(now)
  timed "$work/curl.time" curl -sS --fail --tlsv1.3 --tls13-ciphers TLS_AES_256_GCM_SHA384 \
    --cacert "$work/cert.pem" -o "$work/out/curl.bin" "https://$host:$nginx_port/file.bin"
  t1=$(now)
  c1=$(ticks "$worker")
  record "nginx-curl" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN { print (b - a) / t }')" \
    "$(cpu_of "$work/curl.time")" "$(peak_kib "$worker")" "$(rss_of "$work/curl.time")"
  check_copy "$work/out/curl.bin" curl
}
scp_run() {
  local t0 t1 c0 c1
  c0=$(ticks "$sshd_pid" children)
  t0=$(now)
  timed "$work/scp.time" scp -q "${ssh_options[@]}" -c aes256-gcm@openssh.com -P "$ssh_port" \
    "root@$host:$file" "$work/out/scp.bin"
  t1=$(now)
  # The session's processes count once sshd has waited for them.
  for _ in $(seq 100); do pgrep -P "$sshd_pid" >/dev/null || break; sleep 0.05; done
  c1=$(ticks "$sshd_pid" children)
  record "sshd-scp" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN { print (b - a) / t }')" \
    "$(cpu_of "$work/scp.time")" "-" "$(rss_of "$work/scp.time")"
  check_copy "$work/out/scp.bin" scp
}

# ---- the rounds ----
# Every round reverses the order of the builds and of the reference tools, so that load from
# elsewhere falls on all of them alike.
cat "$file" >/dev/null
n=${#programs[@]}
for ((r = 0; r < rounds; r++)); do
  order=()
  for ((i = 0; i < n; i++)); do order+=($(((r % 2) ? n - 1 - i : i))); done
  "$floors_tool" "$file" "$work/out" "$host" | sed 's/^/floor /' >>"$results"
  start_offers
  for b in "${order[@]}"; do fetch "$b" cold; done
  for ((s = 0; s < steady; s++)); do
    for b in "${order[@]}"; do fetch "$b" steady; done
  done
  stop_offers
  for b in "${order[@]}"; do if can_push "$b"; then push "$b"; fi; done
  if ((r % 2)); then scp_run; curl_run; else curl_run; scp_run; fi
done

read -r load_end _ </proc/loadavg
read -r _ u1 n1 s1 i1 w1 q1 sq1 st1 _ </proc/stat
busy=$(((u1 + n1 + s1 + q1 + sq1 + st1) - (u0 + n0 + s0 + q0 + sq0 + st0)))
idle=$(((i1 + w1) - (i0 + w0)))

# ---- the report: medians over the rounds ----
awk -v mib="$mib" -v rounds="$rounds" -v cores="$(nproc)" -v l0="$load_start" -v l1="$load_end" \
    -v busy="$busy" -v idle="$idle" -v names="$(printf '%s ' "${labels[@]}")" '
  function median(list,   a, k, m, i, j, t) {
    k = split(list, a, " ")
    for (i = 2; i <= k; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return k == 0 ? 0 : (k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2)
  }
  $1 == "floor" { floor[$2] = floor[$2] " " $3; next }
  {
    if (!($1 in count)) order[++rows] = $1
    count[$1]++; wall[$1] = wall[$1] " " $2; scpu[$1] = scpu[$1] " " $3; rcpu[$1] = rcpu[$1] " " $4
    if ($5 != "-" && $5 + 0 > srss[$1]) srss[$1] = $5
    if ($6 + 0 > rrss[$1]) rrss[$1] = $6
  }
  END {
    gib = mib / 1024
    for (f in floor) fl[f] = median(floor[f])
    sf = fl["read"] + fl["seal"] + fl["tcp-send"]
    rf = fl["tcp-recv"] + fl["open"] + fl["write"]
    printf "bench_lan: %d MiB, %d rounds; machine: %d cores, load average %.1f at the start and %.1f at the end, %.0f%% of CPU time busy during the run\n", \
      mib, rounds, cores, l0, l1, 100 * busy / (busy + idle)
    printf "floors (CPU-s/GiB, median): page-cache read %.3f + seal %.3f + TCP send %.3f = sender %.3f\n", \
      fl["read"], fl["seal"], fl["tcp-send"], sf
    printf "                            TCP receive %.3f + open %.3f + page-cache write %.3f = receiver %.3f\n", \
      fl["tcp-recv"], fl["open"], fl["write"], rf
    printf "\n%-22s %4s %8s %12s %7s %12s %7s %12s %12s\n", "transfer", "runs", "MiB/s", "send CPU/GiB", "x floor", \
      "recv CPU/GiB", "x floor", "send RSS KiB", "recv RSS KiB"
    for (i = 1; i <= rows; i++) {
      k = order[i]; s = median(scpu[k]) / gib; r = median(rcpu[k]) / gib
      printf "%-22s %4d %8.0f %12.3f %7.2f %12.3f %7.2f %12s %12d\n", k, count[k], mib / median(wall[k]), s, s / sf, \
        r, r / rf, (k in srss) ? srss[k] : "-", rrss[k]
    }
  }' "$results"
