# Sourced by bench/run: updates that download only what changed. DELTA_COMPRESSION, when set,
# is the packer's --compression (bench/run --only lzma sets lzma). For each pair of versions, v1 is
# installed, v2 published with its map on a local nginx, and /update /S run; the figure is what
# nginx sent for the update (the ranges and the map; the feed left out) against v2's installer.
# Then the same update's time against a full download of v2 from the same server (its feed without
# the map), and the packer's time for the map (plinth-pack feed with and without writing one is
# the same command: its time is reported whole).

DELTA=$WORK/delta
rm -rf "$DELTA/site" "$DELTA/nginx"
mkdir -p "$DELTA/site" "$DELTA/nginx" "$DELTA/apps"
delta_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$DELTA/nginx/nginx.conf" <<CONF
worker_processes 1;
pid $DELTA/nginx/nginx.pid;
events { worker_connections 64; }
http {
  log_format ranges '\$status \$body_bytes_sent "\$http_range" \$connection \$uri';
  access_log $DELTA/nginx/access.log ranges;
  client_body_temp_path $DELTA/nginx/body;
  proxy_temp_path $DELTA/nginx/proxy;
  fastcgi_temp_path $DELTA/nginx/fastcgi;
  uwsgi_temp_path $DELTA/nginx/uwsgi;
  scgi_temp_path $DELTA/nginx/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$delta_port; root $DELTA/site; }
}
CONF
nginx -p "$DELTA/nginx" -c "$DELTA/nginx/nginx.conf" -e "$DELTA/nginx/error.log" -g 'daemon off;' \
  >"$DELTA/nginx/stdout.log" 2>&1 &
DELTA_NGINX_PID=$!
for ((i = 0; i < 100; i++)); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $delta_port), 1)" 2>/dev/null && break
  sleep 0.1
done
trap 'kill "$DELTA_NGINX_PID" 2>/dev/null; stop_desktop; stop_server' EXIT

# The apps: a 1,000-file folder of about 30 MB (the payload's bytes cut in files) with one file
# changed; a 50 MB exe with 1 MiB rewritten in its middle; a 50 MB data file beside a small exe
# with 100 KiB inserted near its start (the new bytes are PE code that v1 doesn't hold);
# and two exes with nothing in common.
make_payload 50 "$WORK/data/app-50.exe"
as_program "$WORK/data/app-50.exe"
# The new code of each v2: PE bytes from beyond the 50 MB that v1 is made of.
make_payload 52 "$DELTA/more.bin"
python3 - "$WORK/data/app-50.exe" "$DELTA/apps" "$DELTA/more.bin" <<'PY'
import os, random, shutil, sys
payload, out = open(sys.argv[1], "rb").read(), sys.argv[2]
fresh = open(sys.argv[3], "rb").read()[50 << 20:]
exe = payload[:100_000]
def folder(name, files):
    shutil.rmtree(os.path.join(out, name), ignore_errors=True)
    for path, data in files.items():
        full = os.path.join(out, name, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        open(full, "wb").write(data)
size = 30_000_000 // 1000
files = {"DeltaBench.exe": exe}
for i in range(1, 1000):
    files["lib%02d/f%04d.dll" % (i % 20, i)] = payload[100_000 + i * size:100_000 + (i + 1) * size]
folder("files-1", files)
# A rebuilt file is other code, not noise, and code v1 doesn't hold anywhere.
files["lib07/f0507.dll"] = fresh[:size]
folder("files-2", files)
middle = len(payload) // 2
open(os.path.join(out, "exe-1.exe"), "wb").write(payload)
open(os.path.join(out, "exe-2.exe"), "wb").write(payload[:middle] + fresh[:1 << 20] + payload[middle + (1 << 20):])
data = payload[100_000:]
folder("data-1", {"DeltaBench.exe": exe, "data.bin": data})
folder("data-2", {"DeltaBench.exe": exe, "data.bin": data[:1_000_000] + fresh[:100 << 10] + data[1_000_000:]})
open(os.path.join(out, "other-1.exe"), "wb").write(payload[:20 << 20])
open(os.path.join(out, "other-2.exe"), "wb").write(payload[:4096] + random.Random(4).randbytes(20 << 20))
PY
[[ $? -eq 0 ]] || die "can't make the delta bench's apps"
for app in exe-1.exe exe-2.exe other-1.exe other-2.exe; do as_program "$DELTA/apps/$app"; done
for dir in files data; do
  for v in 1 2; do as_program "$DELTA/apps/$dir-$v/DeltaBench.exe"; done
done

delta_installed="$programs_dir/Delta Bench"
# delta_row LABEL V1-APP V2-APP LIMIT-PERCENT [TIMED]: v1 installed, then /update /S to v2.
delta_row() {
  local label=$1 v1=$2 v2=$3 limit=$4 timed=${5:-0} v setup feed_ms size sent map ranges requests whole
  for v in 1 2; do
    jq --arg version "$v.0" --arg feed "http://127.0.0.1:$delta_port/feed.json" \
      '{name: "Delta Bench", id: "DeltaBench", version: $version, exe: "DeltaBench.exe", updates: {feed: $feed}}' \
      -n >"$DELTA/app-$v.json" || die "jq failed"
    local app=$DELTA/apps/$([[ $v == 1 ]] && echo "$v1" || echo "$v2")
    "$PACK" build --manifest "$DELTA/app-$v.json" --app "$app" --stub "$STUB" --out "$DELTA/site/setup-$v.exe" --quiet \
      ${DELTA_COMPRESSION:+--compression "$DELTA_COMPRESSION"} ||
      die "plinth-pack failed for $label v$v"
  done
  rm -f "$DELTA/site/feed.json" "$DELTA/site/"*.map
  local start=$(now_ns)
  "$PACK" feed --feed "$DELTA/site/feed.json" --installer "$DELTA/site/setup-2.exe" --quiet ||
    die "plinth-pack feed failed for $label"
  feed_ms=$((($(now_ns) - start) / 1000000))
  [[ -f $DELTA/site/setup-2.exe.map ]] || die "plinth-pack feed wrote no map for $label"
  size=$(stat -c %s "$DELTA/site/setup-2.exe")
  rm -rf "$delta_installed"
  run_timed "$DELTA/site/setup-1.exe" /S
  [[ $T_RC -eq 0 ]] || die "the install of $label v1 failed ($T_RC): $(cat "$WORK/out/run.stderr")"
  : >"$DELTA/nginx/access.log"
  run_timed "$delta_installed/uninstall.exe" /update /S
  [[ $T_RC -eq 0 ]] || die "the update of $label failed ($T_RC): $(cat "$WORK/out/run.stderr")"
  cmp -s "$DELTA/site/setup-2.exe" "$delta_installed/uninstall.exe" || die "the update of $label didn't install v2"
  sleep 0.2  # nginx writes its log line once the answer is sent
  # The connections the map and the ranges came over: WinHTTP keeps one alive between requests.
  read -r ranges requests whole map connections < <(awk '
    $NF == "/setup-2.exe" && $1 == 206 { ranges += $2; requests++ }
    $NF == "/setup-2.exe" && $1 == 200 { whole += $2 }
    $NF == "/setup-2.exe.map" { map += $2 }
    $NF ~ /^\/setup-2\.exe/ && !seen[$(NF - 1)]++ { connections++ }
    END { print ranges + 0, requests + 0, whole + 0, map + 0, connections + 0 }' "$DELTA/nginx/access.log")
  sent=$((ranges + whole + map))
  local percent
  percent=$(awk -v a="$sent" -v b="$size" 'BEGIN { printf "%.2f", a * 100 / b }')
  row "delta: $label" "$(kib "$sent") of $(mib "$size")" \
    "$percent% ($requests ranges$([[ $whole -gt 0 ]] && echo ", 1 whole"); map $(kib "$map"); $connections conn.) (<= $limit%)" \
    "$(verdict "$percent" "$limit")"
  [[ $timed -eq 1 ]] || return 0
  # The same update's time, then a full download of v2 (the feed without the map), from the same server.
  : >"$WORK/out/delta-time.txt"; : >"$WORK/out/full-time.txt"
  jq 'del(.releases[].map, .releases[].mapSize, .releases[].mapSha256)' "$DELTA/site/feed.json" >"$DELTA/feed-full.json"
  cp "$DELTA/site/feed.json" "$DELTA/feed-map.json"
  for ((i = 0; i < RUNS; i++)); do
    for kind in delta full; do
      cp "$DELTA/feed-$([[ $kind == delta ]] && echo map || echo full).json" "$DELTA/site/feed.json"
      rm -rf "$delta_installed"
      run_timed "$DELTA/site/setup-1.exe" /S
      sync
      run_timed "$delta_installed/uninstall.exe" /update /S
      [[ $T_RC -eq 0 ]] || die "the $kind update of $label failed ($T_RC)"
      echo "$T_MS" >>"$WORK/out/$kind-time.txt"
    done
  done
  local delta_ms full_ms
  delta_ms=$(median <"$WORK/out/delta-time.txt"); full_ms=$(median <"$WORK/out/full-time.txt")
  row "  its /update /S, local nginx" "$delta_ms ms" "full download $full_ms ms: x$(ratio "$delta_ms" "$full_ms")" "(report)"
  row "  plinth-pack feed with its map" "$feed_ms ms" "" "(report)"
}
say "delta updates: 1,000 files, a 50 MB exe, a 50 MB data file, nothing in common ..."
delta_row "1,000 files (30 MB), one changed" files-1 files-2 1 1
delta_row "50 MB exe, 1 MiB rewritten in the middle" exe-1.exe exe-2.exe 5
delta_row "50 MB data file, 100 KiB inserted near its start" data-1 data-2 3
delta_row "nothing in common" other-1.exe other-2.exe 101
rm -rf "$delta_installed"
kill "$DELTA_NGINX_PID" 2>/dev/null; wait "$DELTA_NGINX_PID" 2>/dev/null
trap 'stop_desktop; stop_server' EXIT
