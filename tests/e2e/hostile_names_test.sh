#!/bin/bash
# Unusual app names and ids, installed and removed silently end to end: a name outside the
# Basic Multilingual Plane with spaces, one with trailing full stops, one made only of
# characters a file name can't hold, an id with a backslash (a deeper uninstall key), an install
# folder recorded near MAX_PATH, and a profile path outside ASCII. Each either works, or fails
# with its exact text and a second run completes. An exe named by a path out of the install
# folder is refused by the install and the removal alike.
# e2e-timeout: 600
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

UNINSTALL='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
downloads="$E2E_USER_DIR/Downloads"
mkdir -p "$downloads"

# pack_installer MANIFEST OUT: the packer's build, or, with PACK_RAW set, the package put together
# here and embedded by raw mode, for a manifest the packer rightly refuses.
pack_installer() {
  if [[ -z "${PACK_RAW:-}" ]]; then
    "$E2E_PACK" build --manifest "$1" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$2"
    return
  fi
  local package="$E2E_WORK/raw-package.bin"
  {
    e2e_package_header "$(wc -c <"$1")"
    cat "$1"
    zopfli --zlib -c "$E2E_SAMPLE_EXE"
  } >"$package" || return 1
  "$E2E_PACK" raw --package "$package" --stub "$E2E_SETUP_EXE" --out "$2"
}

# case LABEL NAME ID FOLDER: packs the sample under NAME and ID, installs it silently, checks
# the app landed in $E2E_PROGRAMS_DIR/FOLDER (or the recorded folder), removes it silently.
case_run() {
  local label=$1 name=$2 id=$3 folder=$4 manifest="$E2E_WORK/$1.json" installer="$downloads/$1-Setup.exe"
  jq -n -j --arg name "$name" --arg id "$id" \
    '{name: $name, id: $id, version: "1.0", publisher: "Plinth Project", exe: "PlinthSample.exe"}' >"$manifest"
  if ! pack_installer "$manifest" "$installer" >"$E2E_WORK/out/$label.pack.log" 2>&1; then
    e2e_fail "$label: packs" "$(cat "$E2E_WORK/out/$label.pack.log")"
    return
  fi
  e2e_run "$installer" /S
  if [[ $E2E_RC != 0 ]]; then
    e2e_fail "$label: installs (exit $E2E_RC)" "$(cat "$E2E_STDERR_FILE")"
    return
  fi
  e2e_pass "$label: installs"
  e2e_reg_value "$UNINSTALL\\$id" InstallLocation || { e2e_fail "$label: uninstall entry under $id"; return; }
  local location; location=$(e2e_unix_path "$E2E_REG_DATA")
  [[ -n "$folder" ]] && e2e_assert_eq "$label: install folder" "$E2E_PROGRAMS_DIR/$folder" "$location"
  e2e_assert_file "$location/PlinthSample.exe"
  e2e_assert_file "$location/uninstall.exe"
  e2e_run "$location/uninstall.exe" /uninstall /S
  e2e_assert_exit 0
  e2e_check "$label: the app is gone" test ! -e "$location/PlinthSample.exe"
  e2e_check "$label: the uninstall entry is gone" bash -c '! "$1" reg query "$2" </dev/null >/dev/null 2>&1' _ \
    "$E2E_WINE" "$UNINSTALL\\$id"
}

case_run outside_bmp 'Notes 𝄞 Plus' 'Hostile.Bmp' 'Notes 𝄞 Plus'
case_run trailing_dots 'Tools...' 'Hostile.Dots' 'Tools'
case_run dropped_only '<>:"/\|?*' 'Hostile.Dropped' 'App'
# The packer refuses this id (the entry would not show in the list of installed programs), but a
# package made by other means must still install and remove without touching a parent key.
PACK_RAW=1 case_run backslash_id 'Deep Id' 'Hostile\Deeper' 'Deep Id'
e2e_check "the backslash id left no parent key of its own" \
  bash -c '! "$1" reg query "$2" /v DisplayName </dev/null >/dev/null 2>&1' _ "$E2E_WINE" "$UNINSTALL\\Hostile"

# An "exe" that leaves the install folder, in a package made by other means: the install and the
# removal (even where the app was never installed) both refuse the package as it loads, and the
# file it points at, %LOCALAPPDATA%\x.exe, stays as it was.
escape_manifest="$E2E_WORK/escape.json"
escape_installer="$downloads/escape-Setup.exe"
jq -n -j --arg exe '..\..\x.exe' '{name: "Escape", id: "Hostile.Escape", version: "1.0", exe: $exe}' \
  >"$escape_manifest"
PACK_RAW=1 pack_installer "$escape_manifest" "$escape_installer" >"$E2E_WORK/out/escape.pack.log" 2>&1 ||
  e2e_die "Packing the escaping exe failed: $(cat "$E2E_WORK/out/escape.pack.log")"
printf 'not the app\n' >"$E2E_LOCALAPPDATA/x.exe"
for switches in "/S" "/uninstall /S"; do
  # shellcheck disable=SC2086 # the switches are separate arguments
  e2e_run "$escape_installer" $switches
  e2e_assert_exit 1
  e2e_assert_file_bytes "escaping exe, $switches: refused as it loads" "$E2E_STDERR_FILE" \
    $'setup: Its contents can\'t be read.\n'
  e2e_assert_file_bytes "escaping exe, $switches: the file it points at is untouched" \
    "$E2E_LOCALAPPDATA/x.exe" $'not the app\n'
  e2e_assert_absent "$E2E_PROGRAMS_DIR/Escape"
done

# A recorded install folder whose app path comes to about MAX_PATH (260) characters.
long="C:\\L"
while [[ ${#long} -lt 236 ]]; do long+="\\abcdefghij"; done
mkdir -p "$(e2e_unix_path "$long")"
e2e_wine reg add "$UNINSTALL\\Hostile.Long" /v InstallLocation /t REG_SZ /d "$long" /f >/dev/null
e2e_log "long folder: ${#long} characters, app path $((${#long} + 17))"
case_run long_path 'Long Path' 'Hostile.Long' ''

# A profile path outside ASCII. Wine has no user program folder, so the install folder comes
# from LOCALAPPDATA, which Wine takes from the user's volatile environment.
profile_local='C:\users\Jürgen Ωμέγα 𝄞\AppData\Local'
mkdir -p "$(e2e_unix_path "$profile_local")"
e2e_wine reg add 'HKCU\Volatile Environment' /v LOCALAPPDATA /t REG_SZ /d "$profile_local" /f >/dev/null
E2E_PROGRAMS_DIR="$(e2e_unix_path "$profile_local")/Programs"
case_run non_ascii_profile 'Profile Notes' 'Hostile.Profile' 'Profile Notes'
e2e_check "non_ascii_profile: the install folder is gone after the self-deletion" \
  e2e_wait_until 20 test ! -e "$E2E_PROGRAMS_DIR/Profile Notes"
