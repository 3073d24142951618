#!/bin/bash
# The harness itself: the base prefix is set up as the tests assume, registry values read back
# exactly (names and data with spaces, empty data, the default value, numbers), and the checks
# fail when they should. A fault here would make other tests pass or fail for the wrong reason.
source "$(dirname "$0")/lib.sh"
e2e_prefix

# The prefix: real user folders (no links to a home folder) and Wine's own window frames.
for folder in "$E2E_DESKTOP" "$E2E_USER_DIR/Documents"; do
  e2e_check "a real folder, not a link: ${folder#"$WINEPREFIX/"}" test -d "$folder" -a ! -L "$folder"
done
e2e_assert_reg 'HKCU\Software\Wine\X11 Driver' Managed REG_SZ N
e2e_assert_eq "LOCALAPPDATA" "$E2E_LOCALAPPDATA" \
  "$(e2e_unix_path "$(e2e_wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')")"
e2e_assert_eq "path round trip" 'C:\users\x y\ä.txt' "$(e2e_win_path "$(e2e_unix_path 'C:\users\x y\ä.txt')")"

key='HKCU\Software\Plinth Harness'
e2e_wine reg add "$key" /v 'Two  words' /t REG_SZ /d 'a  b    REG_SZ    c' /f >/dev/null
e2e_wine reg add "$key" /v Empty /t REG_SZ /d '' /f >/dev/null
e2e_wine reg add "$key" /ve /d 'default data' /f >/dev/null
e2e_wine reg add "$key" /v Number /t REG_DWORD /d 1464 /f >/dev/null
e2e_wine reg add "$key" /v Nümber /t REG_SZ /d 'ünïcode' /f >/dev/null
e2e_wine reg add "$key\\Sub" /v Number /t REG_SZ /d 'other' /f >/dev/null

e2e_assert_reg "$key" 'Two  words' REG_SZ 'a  b    REG_SZ    c'
e2e_assert_reg "$key" Empty REG_SZ ''
e2e_assert_reg "$key" '' REG_SZ 'default data'
e2e_assert_reg "$key" Number REG_DWORD 0x5b8
e2e_assert_reg "$key" Nümber REG_SZ 'ünïcode'
e2e_assert_reg_absent "$key" Missing
e2e_assert_reg_absent "$key\\Missing"
e2e_check "key exists" e2e_reg_key_exists "$key\\Sub"

e2e_wine reg add "$key" /v Path /t REG_EXPAND_SZ /d '%TEMP%\ä' /f >/dev/null
e2e_wine reg add "$key" /v Multi /t REG_MULTI_SZ /d 'a\0b' /f >/dev/null
e2e_wine reg add "$key" /v Bytes /t REG_BINARY /d 0102ab /f >/dev/null
e2e_wine reg add "$key" /v Wide /t REG_QWORD /d 0x100000000 /f >/dev/null
e2e_wine reg add "$key" /v 'q"b\s' /d 'a"b\c' /f >/dev/null
e2e_assert_reg "$key" Path REG_EXPAND_SZ '%TEMP%\ä'
e2e_assert_reg "$key" Multi REG_MULTI_SZ 'a\0b'
e2e_assert_reg "$key" Bytes REG_BINARY 0102AB
e2e_assert_reg "$key" Wide REG_QWORD 0x100000000
e2e_assert_reg "$key" 'Q"B\S' REG_SZ 'a"b\c'

# Each check must fail on a difference: run them in a subshell and count.
(
  E2E_FAILURES=0
  e2e_assert_reg "$key" Number REG_SZ 1464
  e2e_assert_reg "$key" Empty REG_SZ ' '
  e2e_assert_reg "$key" Missing REG_SZ ''
  e2e_assert_reg "$key" '' REG_SZ 'default dat'
  e2e_assert_reg_absent "$key" Number
  e2e_assert_reg_absent "$key"
  printf 'x\n' >"$E2E_WORK/out/lf"
  e2e_assert_file_bytes "bytes" "$E2E_WORK/out/lf" $'x\r\n'
  e2e_assert_file_bytes "bytes" "$E2E_WORK/out/lf" 'x'
  e2e_assert_eq "eq" a b
  E2E_RC=0; e2e_assert_exit 1
  e2e_assert_absent "$E2E_DESKTOP"
  e2e_assert_file "$E2E_WORK/out/none"
  e2e_check "check" false
  printf '%s\n' "$E2E_FAILURES" >"$E2E_WORK/out/failures"
) >/dev/null
e2e_assert_eq "every mismatch is reported" 13 "$(cat "$E2E_WORK/out/failures")"
