#!/bin/bash
# /dir= for real: each refused folder ends the run with its reason and exit code 1 before anything
# is written; a fresh install goes to a folder on another path, created with its parents; an
# update and a removal keep to it whatever /dir= says.
# e2e-timeout: 240
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'

setup_v1="$E2E_WORK/Setup 1.exe"
setup_v2="$E2E_WORK/Setup 2.exe"
e2e_pack_sample "$setup_v1" '.version = "1.0.0"'
e2e_pack_sample "$setup_v2" '.version = "2.0.0"'

busy="$WINEPREFIX/drive_c/Busy"
mkdir -p "$busy" && echo text >"$busy/letter.txt"
echo text >"$WINEPREFIX/drive_c/a file"
profile=$(e2e_wine cmd /c echo %USERPROFILE% | tr -d '\r')
windows=$(e2e_wine cmd /c echo %SystemRoot% | tr -d '\r')
program_files=$(e2e_wine cmd /c echo %ProgramFiles% | tr -d '\r')

# refused PATH REASON: a silent install with /dir=PATH fails with the reason and writes nothing.
refused() {
  e2e_run "$setup_v1" /S "/dir=$1"
  e2e_assert_exit 1
  e2e_check "/dir=$1: $2" grep -qF "setup: Can't install into $1: $2" "$E2E_STDERR_FILE"
  if e2e_reg_key_exists "$uninstall_key"; then e2e_fail "/dir=$1 wrote nothing" "the uninstall entry exists"; fi
}
refused 'Apps\Notes' "it isn't a full path"
refused 'C:\' "it is a drive's root"
refused "$windows\\Notes" "it is the Windows folder or inside it"
refused "$program_files\\Notes" "it is in Program Files"
refused "$profile" "it is your profile folder itself"
refused 'C:\Busy' "it already holds other files"
refused 'C:\a file' "it is a file"
refused '\\server\share\Notes' "it is a network or device path"
e2e_assert_absent "a refused folder isn't created" "$WINEPREFIX/drive_c/Apps"

# A fresh install into a new folder on another path, its parents created.
chosen_win='C:\Apps\My Tools\Sample'
chosen="$WINEPREFIX/drive_c/Apps/My Tools/Sample"
e2e_run "$setup_v1" /S "/dir=$chosen_win"
e2e_assert_exit 0
e2e_assert_same_file "the app is in the folder chosen" "$E2E_SAMPLE_EXE" "$chosen/PlinthSample.exe"
e2e_assert_file "$chosen/uninstall.exe"
e2e_assert_reg "$uninstall_key" InstallLocation REG_SZ "$chosen_win"
e2e_assert_absent "nothing in the default folder" "$E2E_PROGRAMS_DIR/Plinth Sample"

# An update with another /dir=: the installed folder wins, and the log says so.
log="$E2E_WORK/update.log"
e2e_run "$setup_v2" /S '/dir=C:\Elsewhere' "/log=$(e2e_win_path "$log")"
e2e_assert_exit 0
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 2.0.0
e2e_assert_reg "$uninstall_key" InstallLocation REG_SZ "$chosen_win"
e2e_assert_absent "no other folder made" "$WINEPREFIX/drive_c/Elsewhere"
e2e_check "the log says the folder chosen is ignored" grep -qF "The folder chosen is ignored: the app is installed in $chosen_win" "$log"

# The removal finds it there.
e2e_run "$chosen/uninstall.exe" /uninstall /S '/dir=C:\Elsewhere'
e2e_assert_exit 0
e2e_assert_absent "the app is removed from the folder chosen" "$chosen/PlinthSample.exe"
e2e_check "the uninstall entry is gone" bash -c "! \"$E2E_WINE\" reg query '$uninstall_key' >/dev/null 2>&1"
