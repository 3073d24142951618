#!/bin/bash
# A silent install of the sample app, read back from the registry and the file system: the first
# install, a reinstall and an update converge on the same complete state; a recorded install
# folder is reused when it exists; and the installed uninstall.exe, run with /S alone, installs
# again in place without copying itself onto itself.
# e2e-timeout: 240
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix
e2e_xvfb  # for the running app's window, late in the test

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
progid_key='HKCU\Software\Classes\PlinthSample.plnote'
extension_key='HKCU\Software\Classes\.plnote'
start_menu_lnk="$E2E_START_MENU_PROGRAMS/Plinth Sample.lnk"
desktop_lnk="$E2E_DESKTOP/Plinth Sample.lnk"
# Wine has no FOLDERID_UserProgramFiles, so the folder comes from LOCALAPPDATA.
default_folder="$E2E_PROGRAMS_DIR/Plinth Sample"

# pack VERSION OUT: the sample app's installer, with the manifest's version replaced.
pack() {
  local manifest="$E2E_WORK/app-$1.json"
  jq --arg version "$1" '.version = $version' "$E2E_SAMPLE_MANIFEST" >"$manifest" ||
    e2e_die "Can't write $manifest."
  "$E2E_PACK" build --manifest "$manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$2" \
    >"$E2E_WORK/out/pack-$1.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}

setup_v1="$E2E_WORK/Plinth Sample 1.0.0 Setup.exe"
setup_v2="$E2E_WORK/Plinth Sample 2.0.0 Setup.exe"
pack 1.0.0 "$setup_v1"
pack 2.0.0 "$setup_v2"

# silent_run EXE [ARGS...]: runs it and expects success with nothing on standard error.
silent_run() {
  e2e_run "$@"
  e2e_assert_exit 0
  e2e_assert_file_bytes "nothing on standard error" "$E2E_STDERR_FILE" ""
}

# expect_installed FOLDER VERSION INSTALLER: the complete state of an installation in FOLDER
# (a Unix path) of the given version, made by INSTALLER.
expect_installed() {
  local folder=$1 version=$2 installer=$3
  local win_folder; win_folder=$(e2e_win_path "$folder")
  local app="$win_folder\\PlinthSample.exe" uninstaller="$win_folder\\uninstall.exe"
  e2e_log "-- installed: version $version in $win_folder"

  # The files: the app as packed, the installer that ran as uninstall.exe, nothing else.
  e2e_assert_same_file "the app is the packed exe" "$E2E_SAMPLE_EXE" "$folder/PlinthSample.exe"
  e2e_assert_same_file "uninstall.exe is the installer" "$installer" "$folder/uninstall.exe"
  e2e_assert_eq "the install folder holds the app and uninstall.exe only" \
    $'PlinthSample.exe\nuninstall.exe' "$(ls "$folder")"

  # The uninstall entry: twelve values with their types.
  local size=$((($(stat -c %s "$E2E_SAMPLE_EXE") + $(stat -c %s "$installer")) / 1024))
  e2e_assert_reg "$uninstall_key" DisplayName REG_SZ 'Plinth Sample'
  e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ "$version"
  e2e_assert_reg "$uninstall_key" DisplayIcon REG_SZ "$app,0"
  e2e_assert_reg "$uninstall_key" InstallLocation REG_SZ "$win_folder"
  e2e_assert_reg "$uninstall_key" UninstallString REG_SZ "\"$uninstaller\" /uninstall"
  e2e_assert_reg "$uninstall_key" QuietUninstallString REG_SZ "\"$uninstaller\" /uninstall /S"
  if e2e_reg_value "$uninstall_key" InstallDate && [[ "$E2E_REG_TYPE" == REG_SZ ]] &&
    [[ "$E2E_REG_DATA" == "$(date +%Y%m%d)" || "$E2E_REG_DATA" == "$today" ]]; then
    e2e_pass "InstallDate is today's local date ($E2E_REG_DATA)"
  else
    e2e_fail "InstallDate is today's local date" "actual: $E2E_REG_TYPE '$E2E_REG_DATA'"
  fi
  e2e_assert_reg "$uninstall_key" Publisher REG_SZ 'Plinth Project'
  e2e_assert_reg "$uninstall_key" EstimatedSize REG_DWORD "$(printf '0x%x' "$size")"
  e2e_assert_reg "$uninstall_key" NoModify REG_DWORD 0x1
  e2e_assert_reg "$uninstall_key" NoRepair REG_DWORD 0x1
  # The extension keys the install made, which the removal deletes once they are empty.
  e2e_assert_reg "$uninstall_key" CreatedClassKeys REG_SZ '.plnote\OpenWithProgids|.plnote'
  local count
  count=$(_e2e_reg_export "$uninstall_key" | grep -c '=')
  e2e_assert_eq "the uninstall entry has exactly twelve values" 12 "$count"

  # The document type: ProgID with name, icon and open command; the extension owned by it.
  e2e_assert_reg "$progid_key" '' REG_SZ 'Plinth Sample Note'
  e2e_assert_reg "$progid_key\\DefaultIcon" '' REG_SZ "$app,-1"
  e2e_assert_reg "$progid_key\\shell\\open\\command" '' REG_SZ "\"$app\" \"%1\""
  e2e_assert_reg "$extension_key" '' REG_SZ 'PlinthSample.plnote'
  e2e_assert_reg "$extension_key\\OpenWithProgids" PlinthSample.plnote REG_SZ ''

  # The Start-menu shortcut to the app; no desktop shortcut from a silent run.
  e2e_assert_file "$start_menu_lnk"
  e2e_check "the shortcut names the app" grep -aqF "PlinthSample.exe" "$start_menu_lnk"
  e2e_assert_absent "$desktop_lnk"
}

# The whole state a run leaves, for comparing runs: registry keys and the files with their bytes.
state_snapshot() {
  e2e_reg_dump "$uninstall_key" | grep -v '"InstallDate"'
  e2e_reg_dump "$progid_key"
  e2e_reg_dump "$extension_key"
  # Files by content; shortcuts by name only, since a link records its target's file times.
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o \
    \( -ipath '*plinth*' -o -ipath '*/Apps/*' \) -type f ! -name '*.lnk' -print0 | sort -z | xargs -0r md5sum &&
    find . -path ./windows -prune -o -name '*.lnk' -ipath '*plinth*' -print | sort)
}

today=$(date +%Y%m%d)

# 1. A fresh install.
e2e_log "== fresh install"
e2e_assert_reg_absent "$uninstall_key"
silent_run "$setup_v1" /S
expect_installed "$default_folder" 1.0.0 "$setup_v1"
first_state=$(state_snapshot)

# 2. The same version again: the same state.
e2e_log "== reinstall"
silent_run "$setup_v1" /S
e2e_assert_eq "a reinstall ends in the state of the first install" "$first_state" "$(state_snapshot)"

# 3. Another version: the entry and uninstall.exe follow it; a second run changes nothing.
e2e_log "== update"
silent_run "$setup_v2" --SILENT
expect_installed "$default_folder" 2.0.0 "$setup_v2"
update_state=$(state_snapshot)
silent_run "$setup_v2" /s
e2e_assert_eq "the update converges" "$update_state" "$(state_snapshot)"

# 4. The installed uninstall.exe with /S alone installs again in place; the running file is
# neither rewritten nor moved aside (under Wine a copy onto it would end as uninstall.exe.1.old).
e2e_log "== the installed uninstall.exe without the remove switch"
before=$(stat -c '%y %s' "$default_folder/uninstall.exe")
silent_run "$(e2e_win_path "$default_folder/uninstall.exe")" /S
e2e_assert_eq "uninstall.exe was not written" "$before" "$(stat -c '%y %s' "$default_folder/uninstall.exe")"
e2e_assert_eq "the state is the update's" "$update_state" "$(state_snapshot)"

# 5. A recorded InstallLocation that names an existing folder is used as it stands.
e2e_log "== recorded install folder"
elsewhere="$WINEPREFIX/drive_c/Apps/Sample Elsewhere"
mkdir -p "$elsewhere"
e2e_wine reg add "$uninstall_key" /v InstallLocation /t REG_SZ /d "$(e2e_win_path "$elsewhere")" /f >/dev/null
silent_run "$setup_v2" /S
e2e_assert_same_file "the app went to the recorded folder" "$E2E_SAMPLE_EXE" "$elsewhere/PlinthSample.exe"
e2e_assert_same_file "uninstall.exe went to the recorded folder" "$setup_v2" "$elsewhere/uninstall.exe"
e2e_assert_reg "$uninstall_key" InstallLocation REG_SZ "$(e2e_win_path "$elsewhere")"
e2e_assert_reg "$uninstall_key" DisplayIcon REG_SZ "$(e2e_win_path "$elsewhere")\\PlinthSample.exe,0"

# ... and one naming a folder that is gone is ignored: the default folder again.
rm -rf "$elsewhere"
silent_run "$setup_v2" /S
e2e_assert_eq "a stale location gives the update's state in the default folder" "$update_state" "$(state_snapshot)"
e2e_check "no folder was made for the stale location" test ! -e "$elsewhere"

# 6. Installing over the running app: Wine, like Windows, refuses to delete a running exe but
# lets it be renamed, so it moves aside and the new file takes its name; once the app has
# quit, the next run sweeps the leftover away.
e2e_log "== over the running app"
document="$E2E_USER_DIR/Documents/running.plnote"
printf 'Open while installing.\n' >"$document"
e2e_start "$(e2e_win_path "$default_folder/PlinthSample.exe")" "$(e2e_win_path "$document")"
if e2e_find_window "Plinth Sample" 30; then
  e2e_pass "the installed app runs"
  running=$E2E_BG_PID
  silent_run "$setup_v1" /S
  e2e_assert_same_file "the running app moved aside" "$E2E_SAMPLE_EXE" "$default_folder/PlinthSample.exe.1.old"
  e2e_assert_same_file "the new app took its name" "$E2E_SAMPLE_EXE" "$default_folder/PlinthSample.exe"
  e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 1.0.0
  e2e_wine taskkill /im PlinthSample.exe >/dev/null
  E2E_BG_PID=$running
  e2e_wait_exit 20
  silent_run "$setup_v1" /S
  e2e_assert_eq "the leftover is swept: the state of the first install" "$first_state" "$(state_snapshot)"
else
  e2e_fail "the installed app runs" "no window titled 'Plinth Sample' within 30 s"
fi
