#!/bin/bash
# Packed installers read back by Windows' own functions under Wine, as Explorer and the installer
# read them: the installer loaded as an image resource (LoadLibraryExW), RCDATA 1 through
# FindResourceW, icon group 1 and its icons through CreateIconFromResourceEx and
# LookupIconIdFromDirectoryEx, the version record through GetFileVersionInfoW and VerQueryValueW.
# Then the bare stub, started with unpaired surrogates in its arguments: no crash, /S still counts.
# e2e-timeout: 180
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_find_built plinth-win32-probe.exe
PROBE=$E2E_FOUND
e2e_prefix
e2e_xvfb

work=$WINEPREFIX/drive_c/packed
mkdir -p "$work" || e2e_die "Can't create $work."
win() { printf 'C:\\packed\\%s' "$1"; }
cp "$E2E_SETUP_EXE" "$work/stub.exe"
cp "$E2E_SAMPLE_EXE" "$work/app.exe"
cp "$E2E_SAMPLE_MANIFEST" "$work/sample.json"
cp "$PLINTH_SOURCE_DIR/examples/sample-app/sample.ico" "$work/app.ico"
cp "$PLINTH_SOURCE_DIR/runtime/resources/plinth-setup.ico" "$work/stub.ico"

pack() {  # ARGS...: the host packer; a failure ends the test
  "$E2E_PACK" "$@" >"$E2E_WORK/pack.out" 2>&1 || e2e_die "plinth-pack $1 failed: $(cat "$E2E_WORK/pack.out")"
}

read_back() {  # DESCRIPTION PROBE-ARGUMENTS...: every check of the probe passes
  local what=$1 report
  shift
  E2E_TIMEOUT=90 e2e_run "$PROBE" "$@"
  report=$(tr -d '\r' <"$E2E_STDOUT_FILE")
  printf '%s\n' "$report"
  if [[ "$E2E_RC" == 0 ]] && grep -q '^[1-9][0-9]* checks, 0 failed$' <<<"$report"; then
    e2e_pass "$what"
  else
    e2e_fail "$what" "$(grep -c '^FAIL' <<<"$report") checks failed, exit code $E2E_RC"
  fi
}

# Texts beyond Latin-1 and outside the BMP must reach the version record as UTF-16.
cat >"$work/notes.json" <<'JSON'
{"name": "Nötes 😀", "id": "org.example.notes", "version": "2.5.1-beta",
 "publisher": "Ünïcode & Co", "exe": "Notes.exe"}
JSON
pack build --manifest "$work/notes.json" --app "$work/app.exe" --stub "$work/stub.exe" --out "$work/notes.exe"
read_back "the app's own icon, the package and a non-ASCII version record read back" \
  --read-installer "$(win notes.exe)" --manifest "$(win notes.json)" --app "$(win app.exe)" \
  --icon "$(win app.ico)" --version "Nötes 😀" "2.5.1-beta" "Ünïcode & Co"

# --icon wins over the app's own icon; zlib's stream reads back like the default compressor's.
pack build --manifest "$work/sample.json" --app "$work/app.exe" --icon "$work/stub.ico" \
  --stub "$work/stub.exe" --compressor zlib --out "$work/sample.exe"
read_back "the --icon file's icons, the package and the sample's version record read back" \
  --read-installer "$(win sample.exe)" --manifest "$(win sample.json)" --app "$(win app.exe)" \
  --icon "$(win stub.ico)" --version "Plinth Sample" "1.0.0" "Plinth Project"

# Raw mode: RCDATA 1 is the given bytes exactly, and the stub's default icon stays.
printf 'PLNSETUP\377\377\377\377not a manifest\000\001\002' >"$work/raw.bin"
pack raw --package "$work/raw.bin" --stub "$work/stub.exe" --out "$work/raw.exe"
read_back "raw mode's package and the stub's default icon read back" \
  --read-installer "$(win raw.exe)" --package "$(win raw.bin)" --icon "$(win stub.ico)"

read_back "the stub with unpaired surrogates in its arguments" --surrogate-stub "$(win stub.exe)"
