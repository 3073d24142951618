#!/bin/bash
# The bare stub carries no package: a silent run says so on standard error, in one LF-terminated
# line, and fails with exit code 1.
source "$(dirname "$0")/lib.sh"
e2e_require setup
e2e_prefix

e2e_run "$E2E_SETUP_EXE" /S
e2e_assert_exit 1
e2e_assert_file_bytes "stderr is the one package line, LF-terminated" \
  "$E2E_STDERR_FILE" $'setup: It has nothing in it to install.\n'
e2e_assert_file_bytes "stdout is empty" "$E2E_STDOUT_FILE" ""

