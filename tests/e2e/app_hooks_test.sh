#!/bin/bash
# The app's hooks, run for real: the sample app, started by the installer after a fresh install
# and after an update and by uninstall.exe before a removal, appends each command line, its
# current folder and its show state to a file; an update whose hook hangs ends it after 30 s and
# still succeeds; the installer's own arguments reach no hook; the log tells each hook's fate.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

folder="$E2E_PROGRAMS_DIR/Plinth Sample"
hooks_file="$E2E_WORK/hooks.txt"
win_hooks_file=$(e2e_win_path "$hooks_file")
export PLINTH_SAMPLE_HOOKS="$win_hooks_file"
log_file="$E2E_WORK/setup.log"
win_log=$(e2e_win_path "$log_file")

hooks='{"installed": ["--register", "two words"], "updated": ["--migrate"], "removing": ["--unregister"]}'
hanging='{"updated": ["--sample-hang"], "removing": ["--unregister", "--sample-exit=1"]}'
setup_v1="$E2E_WORK/Setup 1.exe"
setup_v2="$E2E_WORK/Setup 2.exe"
setup_v3="$E2E_WORK/Setup 3.exe"
e2e_pack_sample "$setup_v1" ".version = \"1.0.0\" | .hooks = $hooks"
e2e_pack_sample "$setup_v2" ".version = \"2.0.0\" | .hooks = $hooks"
e2e_pack_sample "$setup_v3" ".version = \"3.0.0\" | .hooks = $hanging"

win_folder=$(e2e_win_path "$folder")
app="\"$win_folder\\PlinthSample.exe\""
# Hidden: STARTF_USESHOWWINDOW with SW_HIDE (0).
where="|$win_folder|show=0"

# line N: the hooks file's Nth line, carriage returns dropped.
line() { sed -n "$1p" "$hooks_file" | tr -d '\r'; }

e2e_run "$setup_v1" /S --register "/log=$win_log"
e2e_assert_exit 0
e2e_assert_eq "a fresh install starts the installed hook with its arguments, hidden, from the folder" \
  "$app --register \"two words\" --plinth-version=1.0.0$where" "$(line 1)"

e2e_run "$setup_v2" /S "/log=$win_log"
e2e_assert_exit 0
e2e_assert_eq "an update starts the updated hook with the version it replaced" \
  "$app --migrate --plinth-version=2.0.0 --plinth-from=1.0.0$where" "$(line 2)"

# The hanging hook: ended after 30 s, and the update still succeeds.
started=$SECONDS
E2E_TIMEOUT=120 e2e_run "$setup_v3" /S "/log=$win_log"
took=$((SECONDS - started))
e2e_assert_exit 0
e2e_assert_eq "the hanging hook was started" "$app --sample-hang --plinth-version=3.0.0 --plinth-from=2.0.0$where" \
  "$(line 3)"
e2e_check "the installer waited about 30 s for it ($took s)" test "$took" -ge 29 -a "$took" -lt 90
e2e_check "the log says it was ended" grep -q "Hook updated didn't finish in 30 s and was ended after 3[0-9][0-9][0-9][0-9] ms" "$log_file"
e2e_assert_reg 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample' DisplayVersion REG_SZ 3.0.0

# Its removing hook answers 1, but this manifest doesn't let it refuse: the removal goes on, and
# the app's exe, which the ended hook no longer holds, goes with it.
e2e_run "$folder/uninstall.exe" /uninstall /S "/log=$win_log"
e2e_assert_exit 0
e2e_assert_eq "a removal starts the removing hook first" \
  "$app --unregister --sample-exit=1 --plinth-version=3.0.0$where" "$(line 4)"
e2e_check "the log has its exit code" grep -q "Hook removing exited with code 1 after" "$log_file"
e2e_check "the log says the removal went on" grep -q "The removal goes on" "$log_file"
e2e_assert_absent "the app is removed" "$folder/PlinthSample.exe"
e2e_assert_eq "four hooks ran in all" 4 "$(wc -l <"$hooks_file")"

# A manifest that lets it refuse: the removal stops with the app's answer, and nothing goes.
refusing="$E2E_WORK/Setup refusing.exe"
e2e_pack_sample "$refusing" '.version = "4.0.0" | .hooks = {"removing": ["--sample-exit=1"]} | .removingMayRefuse = true'
e2e_run "$refusing" /S
e2e_assert_exit 0
e2e_run "$folder/uninstall.exe" /uninstall /S
e2e_assert_exit 1
e2e_check "the refusal is said on standard error" grep -q "^setup: Plinth Sample refused to be removed:" "$E2E_STDERR_FILE"
e2e_assert_file "$folder/PlinthSample.exe"
e2e_assert_reg 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample' DisplayVersion REG_SZ 4.0.0
