#!/bin/bash
# LZMA under Wine (--compression lzma): a folder app (the sample exe, 3 MiB of PE code in a
# subfolder, a small text file) installs byte for byte; v2, with 64 KiB of the large file
# rewritten, is published with its map on nginx and /update /S assembles it from the running
# uninstall.exe, fetching a part of it; then the app is removed. A copy of v1 with one byte of an
# LZMA piece changed, and one whose stream declares a dictionary above the cap, each fail with the
# damaged-installer message and install nothing.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

# shellcheck source=nginx_lib.sh
source "$(dirname "$0")/nginx_lib.sh"

folder="$E2E_PROGRAMS_DIR/Plinth Sample"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
feed="$site/notes/feed.json"

# The app folders: the large file is Wine's own DLLs, cut at 3 MiB (several LZMA pieces).
for v in 1 2; do mkdir -p "$E2E_WORK/app-$v/lib"; cp "$E2E_SAMPLE_EXE" "$E2E_WORK/app-$v/PlinthSample.exe"; done
find /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -maxdepth 1 -name '*.dll' -print0 | LC_ALL=C sort -z |
  xargs -0 cat 2>/dev/null | head -c $((3 << 20)) >"$E2E_WORK/app-1/lib/code.bin"
python3 - "$E2E_WORK" <<'PY'
import random, sys
data = bytearray(open(sys.argv[1] + "/app-1/lib/code.bin", "rb").read())
data[3 << 19:(3 << 19) + 65536] = random.Random(2).randbytes(65536)
open(sys.argv[1] + "/app-2/lib/code.bin", "wb").write(data)
PY
printf 'Hello from an LZMA package.\n' | tee "$E2E_WORK/app-1/readme.txt" >"$E2E_WORK/app-2/readme.txt"
pack() {  # VERSION OUT
  jq --arg version "$1.0.0" --arg feed "http://127.0.0.1:$port/notes/feed.json" \
    '.version = $version | .updates = {feed: $feed}' "$E2E_SAMPLE_MANIFEST" >"$E2E_WORK/app-$1.json" || e2e_die "jq failed."
  "$E2E_PACK" build --manifest "$E2E_WORK/app-$1.json" --app "$E2E_WORK/app-$1" --stub "$E2E_SETUP_EXE" \
    --compression lzma --out "$2" >"$E2E_WORK/out/pack-$1.log" 2>&1 ||
    e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}
setup_v1="$E2E_WORK/Sample-1.0.0-Setup.exe"
setup_v2="$site/notes/Sample-2.0.0-Setup.exe"
pack 1 "$setup_v1"
pack 2 "$setup_v2"
e2e_check "the packer says lzma" grep -q ", lzma to " "$E2E_WORK/out/pack-1.log"
"$E2E_PACK" feed --feed "$feed" --installer "$setup_v2" >"$E2E_WORK/out/feed.log" 2>&1 ||
  e2e_die "plinth-pack feed failed: $(cat "$E2E_WORK/out/feed.log")"

same_files() {  # LABEL VERSION
  local f
  for f in PlinthSample.exe lib/code.bin readme.txt; do
    e2e_assert_same_file "$1: $f" "$E2E_WORK/app-$2/$f" "$folder/$f"
  done
}

e2e_log "== install v1"
e2e_run "$setup_v1" /S
e2e_assert_exit 0
e2e_assert_file_bytes "install: nothing on standard error" "$E2E_STDERR_FILE" ""
same_files "v1 installed" 1
e2e_assert_same_file "uninstall.exe is v1's installer" "$setup_v1" "$folder/uninstall.exe"

e2e_log "== v1 -> v2 through the map, over nginx"
start_nginx
update_log="$E2E_WORK/update.log"
E2E_TIMEOUT=120 e2e_run "$(e2e_win_path "$folder/uninstall.exe")" /update /S "/log=$(e2e_win_path "$update_log")"
e2e_assert_exit 0
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 2.0.0
same_files "v2 installed" 2
e2e_check "the update was assembled through the map" grep -q "Update assembled" "$update_log"
size=$(stat -c %s "$setup_v2")
fetched=$(awk '$1 == 206 || $NF ~ /\.map$/ { sum += $2 } END { print sum + 0 }' "$E2E_WORK/nginx/access.log")
e2e_log "fetched $fetched bytes of $size"
e2e_check "fetched under half of the installer, map included" test $((fetched * 2)) -lt "$size"
stop_server

e2e_log "== removal"
E2E_TIMEOUT=60 e2e_run "$(e2e_win_path "$folder/uninstall.exe")" /uninstall /S
e2e_assert_exit 0
e2e_wait_until 10 bash -c "[[ ! -e '$folder' ]]" || true
e2e_assert_absent "$folder"
e2e_assert_reg_absent "$uninstall_key"

# damaged LABEL OFFSET BYTE: v1 with one byte replaced refuses to install, leaving nothing.
damaged() {
  local copy="$E2E_WORK/Damaged-$1.exe"
  cp "$setup_v1" "$copy"
  printf "\\x$3" | dd of="$copy" bs=1 seek="$2" conv=notrunc status=none
  e2e_run "$copy" /S
  e2e_assert_exit 1
  e2e_check "$1: the damaged-installer message" grep -q "The app inside the installer is damaged." "$E2E_STDERR_FILE"
  # The run leaves the folder it created empty, as any failed first install does.
  e2e_assert_eq "$1: nothing installed" "" "$(find "$folder" -mindepth 1 2>/dev/null)"
  e2e_assert_reg_absent "$uninstall_key"
}
# The large file's stream: the one whose first piece decodes to at least 512 KiB (the exe and the
# text file are smaller).
offsets=$(python3 - "$setup_v1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = next(i for i in range(len(data) - 17) if data.startswith(b"LZMA", i) and data[i + 4] == 0x5D
          and struct.unpack_from("<I", data, i + 13)[0] >= 512 << 10)
print(at + 9 + 8 + 1000, at + 5 + 3)
PY
)
read -r in_piece dictionary_top <<<"$offsets"
e2e_log "== a damaged LZMA piece"
damaged piece "$in_piece" "$(printf '%02x' $(( $(od -An -t u1 -j "$in_piece" -N 1 "$setup_v1") ^ 0x40 )))"
e2e_log "== a dictionary above the cap (128 MiB)"
damaged dictionary "$dictionary_top" 08
