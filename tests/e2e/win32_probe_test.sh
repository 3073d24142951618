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

# The stub's ends of the process, linked as in the stub: out of memory and the library's throw
# functions print one line and exit with the failed-run code; the nothrow forms say no instead.
e2e_find_built plinth-oom-probe.exe
OOM_PROBE=$E2E_FOUND
for mode in new array; do
  e2e_run "$OOM_PROBE" "$mode"
  e2e_assert_exit 1
  e2e_assert_file_bytes "out of memory ($mode): one line on standard error" \
    "$E2E_STDERR_FILE" $'setup: Out of memory.\n'
done
e2e_run "$OOM_PROBE" length
e2e_assert_exit 1
e2e_assert_file_bytes "a length error names its function" \
  "$E2E_STDERR_FILE" $'setup: Internal error (vector::reserve).\n'
e2e_run "$OOM_PROBE" range
e2e_assert_exit 1
e2e_assert_file_bytes "an out-of-range error names its function" \
  "$E2E_STDERR_FILE" $'setup: Internal error (basic_string::substr).\n'
e2e_run "$OOM_PROBE" nothrow
e2e_assert_exit 0
e2e_assert_file_bytes "the nothrow forms give null and go on" \
  "$E2E_STDERR_FILE" ''
# The stub links these, not the library's throwing operator new (whose what-text this is).
e2e_find_built plinth-setup.exe
if grep -aq 'std::bad_alloc' "$E2E_FOUND"; then
  e2e_fail "the stub carries no part of libstdc++'s exception classes" "found std::bad_alloc in $E2E_FOUND"
else
  e2e_pass "the stub carries no part of libstdc++'s exception classes"
fi
