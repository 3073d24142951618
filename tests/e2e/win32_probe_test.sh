#!/bin/bash
# The Win32 layer on a real system: plinth-win32-probe.exe calls each implementation of the seam
# in a fresh prefix (registry, files, a running program's file, shortcuts read back through the
# shell, system texts, the command line, a task dialog that navigates) and reports each check.
# e2e-timeout: 180
source "$(dirname "$0")/lib.sh"
e2e_find_built plinth-win32-probe.exe
PROBE=$E2E_FOUND
e2e_prefix
e2e_xvfb

E2E_TIMEOUT=120 e2e_run "$PROBE" --dialogs --date "$(date +%Y-%m-%d)" \
  --expect-args "two words" 'say "hi"' 'ünï 😀' 'trailing\'
# The console's text mode ends the probe's lines with CR LF.
report=$(tr -d '\r' <"$E2E_STDOUT_FILE")
printf '%s\n' "$report"
fails=$(grep -c '^FAIL' <<<"$report")
if grep -q '^[0-9]* checks, 0 failed$' <<<"$report"; then
  e2e_pass "the probe's checks all pass"
else
  e2e_fail "the probe's checks all pass" "$fails failed, exit code $E2E_RC"
fi
e2e_assert_exit 0
# A GUI program writes raw bytes to the standard error it inherited: LF stays LF.
e2e_assert_file_bytes "standard error holds exactly the bytes written" \
  "$E2E_STDERR_FILE" $'probe: standard error\nsecond line\n'
