#!/bin/bash
# The sample app, the payload of the demo and of the install tests: with PLINTH_SAMPLE_MARKER
# set it writes its command line there and exits at once (the tests' proof that the installer
# opened it, and with what); given a document, it shows a window with the document in it.
source "$(dirname "$0")/lib.sh"
e2e_require sample
e2e_prefix
e2e_xvfb

# The marker: the command line, UTF-8, arguments with spaces and non-ASCII characters intact.
marker="$E2E_USER_DIR/Temp/marker.txt"
document="$E2E_USER_DIR/Documents/Nötes für mich.plnote"
printf 'Hello, note.\n' >"$document"
PLINTH_SAMPLE_MARKER=$(e2e_win_path "$marker") e2e_run "$E2E_SAMPLE_EXE" "$(e2e_win_path "$document")"
e2e_assert_exit 0
e2e_assert_file "$marker"
command_line=$(cat "$marker" 2>/dev/null)
e2e_check "the marker holds the quoted document path" \
  grep -qF -- "\"$(e2e_win_path "$document")\"" <<<"$command_line"
e2e_check "the marker names the program" grep -qi 'PlinthSample.exe' <<<"$command_line"

# A marker folder that doesn't exist: the app reports the failure in its exit code.
PLINTH_SAMPLE_MARKER='C:\no\such\folder\marker.txt' e2e_run "$E2E_SAMPLE_EXE"
e2e_assert_exit 3

# Shown: a window titled "Plinth Sample" that closes on WM_CLOSE with exit code 0.
e2e_start "$E2E_SAMPLE_EXE" "$(e2e_win_path "$document")"
if e2e_find_window "Plinth Sample" 30; then
  e2e_pass "the window appears"
  e2e_screenshot document
  e2e_wine taskkill /im PlinthSample.exe >/dev/null
  e2e_wait_exit 20
  e2e_assert_exit 0
else
  e2e_fail "the window appears" "no window titled 'Plinth Sample' within 30 s"
fi
