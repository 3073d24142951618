#!/bin/bash
# Silent removal of the packed sample app, started the way Windows starts it: from the
# QuietUninstallString, the installed uninstall.exe with /uninstall /S. It exits 0 without a
# window, and a moment later the uninstaller has deleted itself and the folder. A file of the
# user's in the install folder keeps the folder; the original installer run with /uninstall /S
# from outside removes the installed copy and leaves itself alone.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix
e2e_xvfb  # a window, had the silent run opened one, would show up on this screen

APP_ID=PlinthSample
APP_EXE=PlinthSample.exe
UNINSTALL_KEY="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$APP_ID"
PROGID_KEY="HKCU\\Software\\Classes\\$APP_ID.plnote"
EXTENSION_KEY='HKCU\Software\Classes\.plnote'
SHORTCUT="$E2E_START_MENU_PROGRAMS/Plinth Sample.lnk"
# The self-deletion pings for about two seconds after the uninstaller exits.
DELETION_WAIT=30

downloads="$E2E_USER_DIR/Downloads"
installer="$downloads/PlinthSample-Setup.exe"
mkdir -p "$downloads"
"$E2E_PACK" build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" \
  --out "$installer" >"$E2E_WORK/out/pack.log" 2>&1 || e2e_die "Packing the sample failed: $(cat "$E2E_WORK/out/pack.log")"
cp "$installer" "$E2E_WORK/installer.orig"

# install: a silent install from the Downloads folder; sets INSTALL_DIR (Unix path).
install() {
  e2e_run "$installer" /S
  [[ "$E2E_RC" == 0 ]] || e2e_die "The silent install failed with exit code $E2E_RC: $(cat "$E2E_STDERR_FILE")"
  e2e_reg_value "$UNINSTALL_KEY" InstallLocation || e2e_die "The install wrote no InstallLocation."
  INSTALL_DIR=$(e2e_unix_path "$E2E_REG_DATA")
  # What the removal must take away is really there first.
  e2e_assert_file "$INSTALL_DIR/$APP_EXE"
  e2e_assert_file "$INSTALL_DIR/uninstall.exe"
  e2e_assert_file "$SHORTCUT"
  e2e_check "the install made the ProgID key" e2e_reg_key_exists "$PROGID_KEY"
  e2e_check "the install made the open-with value" e2e_reg_value "$EXTENSION_KEY\\OpenWithProgids" "$APP_ID.plnote"
}

# visible_windows: the ids of the windows shown on the test's screen, one a line.
visible_windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | sort; }

# run_watched EXE ARGS...: runs the program to its end, noting every window that appears on the
# screen meanwhile. Sets E2E_RC, and NEW_WINDOWS to the windows that were not there before.
run_watched() {
  WINDOWS_BEFORE=$(visible_windows)
  SEEN_WINDOWS="$E2E_WORK/out/windows.$E2E_RUN_COUNT"
  : >"$SEEN_WINDOWS"
  e2e_start "$@"
  local deadline=$((SECONDS + 60))
  while kill -0 "$E2E_BG_PID" 2>/dev/null && [[ $SECONDS -lt $deadline ]]; do
    visible_windows >>"$SEEN_WINDOWS"
    sleep 0.1
  done
  e2e_wait_exit 5
  new_windows
}

new_windows() {
  NEW_WINDOWS=$(sort -u "$SEEN_WINDOWS" | comm -13 <(printf '%s\n' "$WINDOWS_BEFORE") - | grep . || true)
}

# path_gone PATH: true once PATH no longer exists; notes the windows on screen meanwhile, so that
# a window of the self-deletion would be seen too.
path_gone() {
  visible_windows >>"$SEEN_WINDOWS"
  [[ ! -e "$1" ]]
}

# remove_quietly: runs the registered QuietUninstallString as Windows does: the quoted program,
# then its switches.
remove_quietly() {
  e2e_reg_value "$UNINSTALL_KEY" QuietUninstallString || e2e_die "No QuietUninstallString."
  local quiet=$E2E_REG_DATA program
  e2e_assert_eq "QuietUninstallString names the installed uninstall.exe" \
    "\"$(e2e_win_path "$INSTALL_DIR/uninstall.exe")\" /uninstall /S" "$quiet"
  program=${quiet#\"}
  program=${program%%\"*}
  local -a switches
  read -r -a switches <<<"${quiet#\""$program"\"}"
  run_watched "$program" "${switches[@]}"
}

expect_registration_gone() {
  e2e_assert_reg_absent "$UNINSTALL_KEY"
  e2e_assert_reg_absent "$PROGID_KEY"
  e2e_assert_reg_absent "$EXTENSION_KEY\\OpenWithProgids" "$APP_ID.plnote"
  e2e_assert_reg_absent "$EXTENSION_KEY" ""
  e2e_assert_absent "$SHORTCUT"
}

e2e_log "--- 1. silent removal through the QuietUninstallString"
install
# Another program's entry in the same open-with list must survive.
e2e_wine reg add "$EXTENSION_KEY\\OpenWithProgids" /v Other.plnote /t REG_SZ /d '' /f >/dev/null
remove_quietly
e2e_assert_exit 0
e2e_assert_eq "no window while removing" "" "$NEW_WINDOWS"
e2e_assert_file_bytes "nothing on standard error" "$E2E_STDERR_FILE" ""
if e2e_wait_until "$DELETION_WAIT" path_gone "$INSTALL_DIR"; then
  e2e_pass "the install folder is gone within $DELETION_WAIT s"
else
  e2e_fail "the install folder is gone within $DELETION_WAIT s" "left: $(ls -A "$INSTALL_DIR" | tr '\n' ' ')"
fi
e2e_assert_absent "$INSTALL_DIR/$APP_EXE"
e2e_assert_absent "$INSTALL_DIR/uninstall.exe"
expect_registration_gone
e2e_assert_reg "$EXTENSION_KEY\\OpenWithProgids" Other.plnote REG_SZ ''
new_windows
e2e_assert_eq "no window from the self-deletion either" "" "$NEW_WINDOWS"

e2e_log "--- 2. a file of the user's keeps the install folder"
install
printf 'mine\n' >"$INSTALL_DIR/My notes.txt"
remove_quietly
e2e_assert_exit 0
if e2e_wait_until "$DELETION_WAIT" path_gone "$INSTALL_DIR/uninstall.exe"; then
  e2e_pass "uninstall.exe is gone within $DELETION_WAIT s"
else
  e2e_fail "uninstall.exe is gone within $DELETION_WAIT s"
fi
sleep 1  # rmdir runs right after del; give it the moment to refuse the folder
e2e_assert_eq "the folder holds only the user's file" "My notes.txt" "$(ls -A "$INSTALL_DIR" 2>&1)"
e2e_assert_file_bytes "the user's file is intact" "$INSTALL_DIR/My notes.txt" $'mine\n'
expect_registration_gone
rm -rf "$INSTALL_DIR"

e2e_log "--- 3. the original installer with /uninstall /S, from outside the install folder"
install
run_watched "$installer" /uninstall /S
e2e_assert_exit 0
e2e_assert_eq "no window while removing" "" "$NEW_WINDOWS"
if e2e_wait_until "$DELETION_WAIT" path_gone "$INSTALL_DIR"; then
  e2e_pass "the installed copy's folder is gone within $DELETION_WAIT s"
else
  e2e_fail "the installed copy's folder is gone within $DELETION_WAIT s" "left: $(ls -A "$INSTALL_DIR" | tr '\n' ' ')"
fi
new_windows
e2e_assert_eq "no window from the self-deletion either" "" "$NEW_WINDOWS"
expect_registration_gone
e2e_assert_same_file "the installer file is untouched" "$E2E_WORK/installer.orig" "$installer"
e2e_assert_eq "Downloads holds only the installer" "PlinthSample-Setup.exe" "$(ls -A "$downloads")"

e2e_log "--- 4. an install folder whose name cmd.exe could expand (%OS%)"
# Moved by hand and recorded as such: the removal follows InstallLocation. With the folder's
# text handed to cmd.exe as it stands, %OS% would become Windows_NT, and the self-deletion
# would delete the uninstall.exe of the decoy folder instead.
install
apps="$E2E_USER_DIR/Apps"
moved="$apps/x%OS%y"
decoy="$apps/xWindows_NTy"
mkdir -p "$apps" "$decoy"
printf 'another program\n' >"$decoy/uninstall.exe"
mv "$INSTALL_DIR" "$moved" || e2e_die "Can't move the install folder."
INSTALL_DIR=$moved
moved_win=$(e2e_win_path "$moved")
e2e_wine reg add "$UNINSTALL_KEY" /v InstallLocation /t REG_SZ /d "$moved_win" /f >/dev/null
e2e_wine reg add "$UNINSTALL_KEY" /v QuietUninstallString /t REG_SZ \
  /d "\"$moved_win\\uninstall.exe\" /uninstall /S" /f >/dev/null
remove_quietly
e2e_assert_exit 0
if e2e_wait_until "$DELETION_WAIT" path_gone "$moved"; then
  e2e_pass "the folder x%OS%y is gone within $DELETION_WAIT s"
else
  e2e_fail "the folder x%OS%y is gone within $DELETION_WAIT s" "left: $(ls -A "$moved" | tr '\n' ' ')"
fi
e2e_assert_file_bytes "the decoy's uninstall.exe is untouched" "$decoy/uninstall.exe" $'another program\n'
