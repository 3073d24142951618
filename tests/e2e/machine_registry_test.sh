#!/bin/bash
# Everything the installer does is per-user: a full install and removal leave Wine's
# machine-wide registry (system.reg) exactly as it was. The wineserver is stopped before each
# look so that it has written the registry out; the timestamps Wine keeps per key don't count,
# nor the date Wine stamps on its display driver's device key whenever a program starts.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

installer="$E2E_USER_DIR/Downloads/PlinthSample-Setup.exe"
mkdir -p "$(dirname "$installer")"
"$E2E_PACK" build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" \
  --out "$installer" >"$E2E_WORK/out/pack.log" 2>&1 || e2e_die "Packing the sample failed: $(cat "$E2E_WORK/out/pack.log")"

# machine_registry FILE: system.reg as written by a stopped wineserver, without timestamps.
machine_registry() {
  "$E2E_WINESERVER" -k >/dev/null 2>&1
  "$E2E_WINESERVER" -w >/dev/null 2>&1
  sed -E '/^#time=/d; /^"DriverDateData"=/d; s/^(\[.*\]) [0-9]+$/\1/' "$WINEPREFIX/system.reg" >"$1"
  "$E2E_WINESERVER" -p || e2e_die "Can't restart wineserver."
}

# Wine settles its own machine-wide state the first time a program runs; that isn't ours.
e2e_run "$E2E_SAMPLE_EXE" --version
machine_registry "$E2E_WORK/before.reg"

e2e_run "$installer" /S
e2e_assert_exit 0
e2e_reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample' InstallLocation ||
  e2e_fail "the install wrote its uninstall entry"
folder=$(e2e_unix_path "$E2E_REG_DATA")
e2e_run "$folder/uninstall.exe" /uninstall /S
e2e_assert_exit 0
# The self-deletion is done once the folder is gone; stopping the server ends whatever is left.
e2e_check "the self-deletion removes the install folder" e2e_wait_until 30 test ! -e "$folder"
machine_registry "$E2E_WORK/after.reg"

if cmp -s "$E2E_WORK/before.reg" "$E2E_WORK/after.reg"; then
  e2e_pass "system.reg is unchanged by the install and the removal"
else
  e2e_fail "system.reg is unchanged by the install and the removal" \
    "$(diff "$E2E_WORK/before.reg" "$E2E_WORK/after.reg" | head -40)"
fi
e2e_check "the uninstall entry is gone" bash -c '! "$1" reg query "$2" </dev/null >/dev/null 2>&1' _ \
  "$E2E_WINE" 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
