#!/bin/bash
# Updates that download only what changed, under Wine: v1 of an 8 MiB app installed; v2 (64 KiB of
# it rewritten) published with its map, served by nginx: /update /S assembles v2 from the running
# uninstall.exe and range requests, fetching under 5% of the installer (nginx's access log says
# what was sent); then v3 the same way from the assembled v2. Against servers that ignore ranges,
# refuse them (416, 501), cut them short, or redirect to signed URLs that expire, the same update
# still installs exactly v2. An uninstall.exe with some bytes changed still updates to exactly v2.
# e2e-timeout: 400
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

# shellcheck source=nginx_lib.sh
source "$(dirname "$0")/nginx_lib.sh"
# start_range_server MODE: the misbehaving server of range_server.py on the same port.
start_range_server() {
  : >"$E2E_WORK/range.log"
  python3 "$(dirname "$0")/range_server.py" "$port" "$site" "$1" "$E2E_WORK/range.log" \
    >>"$E2E_WORK/out/range-server.log" 2>&1 &
  server_pid=$!
  wait_for_port
}

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
folder="$E2E_PROGRAMS_DIR/Plinth Sample"
uninstaller="$folder/uninstall.exe"
feed="$site/notes/feed.json"

# The app: the sample exe with 8 MiB of data after it; each version rewrites 64 KiB of it.
python3 - "$E2E_SAMPLE_EXE" "$E2E_WORK" <<'PY'
import random, sys
exe = open(sys.argv[1], "rb").read()
data = bytearray(random.Random(1).randbytes(8 << 20))
open(sys.argv[2] + "/app-1.exe", "wb").write(exe + data)
data[4 << 20:(4 << 20) + 65536] = random.Random(2).randbytes(65536)
open(sys.argv[2] + "/app-2.exe", "wb").write(exe + data)
data[6 << 20:(6 << 20) + 65536] = random.Random(3).randbytes(65536)
open(sys.argv[2] + "/app-3.exe", "wb").write(exe + data)
PY
# pack VERSION OUT
pack() {
  local manifest="$E2E_WORK/app-$1.json"
  jq --arg version "$1.0.0" --arg feed "http://127.0.0.1:$port/notes/feed.json" \
    '.version = $version | .updates = {feed: $feed}' "$E2E_SAMPLE_MANIFEST" >"$manifest" || e2e_die "Can't write $manifest."
  "$E2E_PACK" build --manifest "$manifest" --app "$E2E_WORK/app-$1.exe" --stub "$E2E_SETUP_EXE" --out "$2" --quiet \
    >"$E2E_WORK/out/pack-$1.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}
# publish INSTALLER: the installer's release, and its map, added to the feed.
publish() {
  "$E2E_PACK" feed --feed "$feed" --installer "$1" >>"$E2E_WORK/out/feed.log" 2>&1 ||
    e2e_die "plinth-pack feed failed: $(cat "$E2E_WORK/out/feed.log")"
  [[ -f "$1.map" ]] || e2e_die "plinth-pack feed wrote no map beside $1."
}
setup_v1="$E2E_WORK/Sample-1.0.0-Setup.exe"
setup_v2="$site/notes/Sample-2.0.0-Setup.exe"
setup_v3="$site/notes/Sample-3.0.0-Setup.exe"
pack 1 "$setup_v1"
pack 2 "$setup_v2"
pack 3 "$setup_v3"
publish "$setup_v2"
cp "$feed" "$E2E_WORK/feed-v2.json"
e2e_assert_eq "the feed names v2's map" "Sample-2.0.0-Setup.exe.map" "$(jq -r '.releases[0].map' "$feed")"

install_v1() {
  e2e_run "$setup_v1" /S
  e2e_assert_exit 0
  e2e_assert_same_file "uninstall.exe is v1's installer" "$setup_v1" "$uninstaller"
}
# update_to VERSION INSTALLER LABEL: /update /S installs exactly that installer, with nothing
# left in the temporary folder; its log is $update_log.
update_to() {
  update_log="$E2E_WORK/update-$3.log"
  E2E_TIMEOUT=120 e2e_run "$(e2e_win_path "$uninstaller")" /update /S "/log=$(e2e_win_path "$update_log")"
  e2e_assert_exit 0
  e2e_assert_file_bytes "$3: nothing on standard error" "$E2E_STDERR_FILE" ""
  e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ "$1"
  e2e_assert_same_file "$3: uninstall.exe is exactly the new installer" "$2" "$uninstaller"
  e2e_assert_eq "$3: no download left in the temporary folder" "" \
    "$(find "$WINEPREFIX/drive_c" -name 'plinth-update-*' 2>/dev/null)"
}
logged() { grep -q -- "$2" "$update_log" && e2e_pass "$1" || e2e_fail "$1" "$(cat "$update_log")"; }
# The bytes nginx sent of the file named $1, in answers of status $2, and how many answers.
sent() { awk -v status="$2" -v uri="/notes/$1" '$1 == status && $NF == uri { sum += $2 } END { print sum + 0 }' "$3"; }
count() { awk -v status="$2" -v uri="/notes/$1" '$1 == status && $NF == uri { n++ } END { print n + 0 }' "$3"; }
# under_limit LABEL INSTALLER: what nginx sent for the update (ranges and map) is under 5%.
under_limit() {
  local access=$E2E_WORK/nginx/access.log size ranges map
  size=$(stat -c %s "$2")
  ranges=$(sent "$(basename "$2")" 206 "$access")
  map=$(sent "$(basename "$2").map" 200 "$access")
  e2e_log "$1: fetched $ranges bytes in $(count "$(basename "$2")" 206 "$access") ranges, and a map of $map bytes, of $size"
  e2e_check "$1: fetched under 5% of the installer, map included" test $(((ranges + map) * 100)) -lt $((size * 5))
  e2e_assert_eq "$1: no whole download of the installer" 0 "$(count "$(basename "$2")" 200 "$access")"
  e2e_check "$1: ranges asked one at a time" bash -c "! grep -q ',' '$access'"
}

e2e_log "== v1 -> v2 through the map, over nginx"
install_v1
start_nginx
update_to 2.0.0 "$setup_v2" nginx-v2
logged "the log says what was reused and fetched" "Update assembled: reused [0-9]* bytes, fetched [0-9]* bytes (the map's [0-9]* included) in [0-9]* requests"
under_limit "v1 -> v2" "$setup_v2"

e2e_log "== v2 -> v3 through the map, from the assembled v2"
publish "$setup_v3"
: >"$E2E_WORK/nginx/access.log"
update_to 3.0.0 "$setup_v3" nginx-v3
under_limit "v2 -> v3" "$setup_v3"
stop_server

# Back to a feed of v2 alone for the servers that follow.
cp "$E2E_WORK/feed-v2.json" "$feed"
# fallback MODE EXPECTED-LOG WHOLE-DOWNLOADS: v1 -> v2 against that server.
fallback() {
  e2e_log "== a server that answers ranges with: $1"
  install_v1
  start_range_server "$1"
  update_to 2.0.0 "$setup_v2" "$1"
  logged "$1: the log says why" "$2"
  e2e_assert_eq "$1: whole downloads of the installer" "$3" \
    "$(awk '$1 == 200 && $NF ~ /Setup\.exe$/' "$E2E_WORK/range.log" | wc -l)"
  stop_server
}
fallback ignore "the server ignores range requests" 1
fallback refuse416 "didn't answer a range request (status 416)" 1
fallback refuse501 "didn't answer a range request (status 501)" 1
fallback cut "Downloading the whole installer" 1
fallback redirect "Update assembled" 0
e2e_check "redirect: ranges went to signed URLs" grep -q '^206 .* /signed/' "$E2E_WORK/range.log"

e2e_log "== an uninstall.exe with some bytes changed"
install_v1
size=$(stat -c %s "$uninstaller")
for at in $((size / 2)) $((size / 2 + 1)) $((size * 3 / 4)); do
  printf '\x5a' | dd of="$uninstaller" bs=1 seek="$at" conv=notrunc status=none
done
cmp -s "$uninstaller" "$setup_v1" && e2e_die "uninstall.exe didn't change."
start_nginx
update_to 2.0.0 "$setup_v2" damaged-base
logged "damaged base: assembled all the same" "Update assembled"
stop_server
