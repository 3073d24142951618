#!/bin/bash
# The two error pages: a damaged installer (raw packer mode) run interactively, and an install
# that fails because a file stands where the install folder goes. Then a name with characters
# outside the Basic Multilingual Plane, read back intact from the page (fonts draw them as boxes).
# e2e-timeout: 240
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup

e2e_log "--- Damaged installer"
damaged="$E2E_WORK/Damaged-Setup.exe"
printf 'PLNSETUP\377\377\377\177{"name":' >"$E2E_WORK/package.bin"
"$E2E_PACK" raw --package "$E2E_WORK/package.bin" --stub "$E2E_SETUP_EXE" --out "$damaged" \
  >"$E2E_WORK/out/raw.log" 2>&1 || e2e_die "plinth-pack raw failed: $(cat "$E2E_WORK/out/raw.log")"
dlg_launch "$damaged"
if dlg_wait_page "This installer is damaged"; then
  dlg_assert_title "Setup"
  dlg_assert_page "damaged-installer page" "Static|This installer is damaged
Static|Its contents can't be read.
Button|&Close"
  e2e_assert_eq "error icon" 32x32 "$(dlg_icon_size)"
  dlg_screenshot damaged-page
  dlg_click_closing "&Close"
fi
dlg_wait_exit && e2e_assert_exit 1
e2e_assert_file_bytes "the setup line on standard error" "$E2E_STDERR_FILE" $'setup: Its contents can\'t be read.\n'

e2e_log "--- Install that fails"
installer="$E2E_WORK/PlinthSample-Setup.exe"
dlg_pack_sample "$installer"
mkdir -p "$E2E_PROGRAMS_DIR" && printf 'in the way' >"$E2E_PROGRAMS_DIR/Plinth Sample"
dlg_launch "$installer"
if dlg_wait_page "Install Plinth Sample 1.0.0?"; then
  dlg_click Install
  if dlg_wait_page "Plinth Sample couldn't be installed"; then
    dlg_assert_title "Plinth Sample Setup"
    content=$(awk -F'\t' '$1 == "control" && $9 != "" { n++; if (n == 2) print $9 }' "$DLG_PROBE_FILE")
    e2e_check "failure text names the folder and the OS error" \
      bash -c '[[ "$1" == "Can'"'"'t create the folder $2: "*" (os error "*")" ]]' _ "$content" "$(dlg_escape "$DLG_FOLDER_WIN")"
    e2e_log "      content: $content"
    e2e_assert_eq "error icon" 32x32 "$(dlg_icon_size)"
    e2e_assert_eq "only Close" "&Close" "$(awk -F'\t' '$1 == "control" && $2 == "Button" { print $9 }' "$DLG_PROBE_FILE")"
    dlg_screenshot install-failure-page
    dlg_click_closing "&Close"
  fi
fi
dlg_wait_exit && e2e_assert_exit 1
e2e_assert_file_bytes "nothing on standard error for an interactive failure" "$E2E_STDERR_FILE" ""

e2e_log "--- A name outside the BMP"
name=$'Plinth \U0001F3A8 Sample'
wide="$E2E_WORK/Wide-Setup.exe"
dlg_pack_sample "$wide" "s/\"name\": *\"Plinth Sample\"/\"name\": \"$name\"/"
dlg_launch "$wide"
if dlg_wait_page "Install $name 1.0.0?"; then
  dlg_assert_title "$name Setup"
  e2e_assert_eq "content names the folder" \
    "It's installed for you only, in $(dlg_escape "C:\\users\\$E2E_WIN_USER\\AppData\\Local\\Programs\\$name")." \
    "$(awk -F'\t' '$1 == "control" && $9 != "" { n++; if (n == 2) print $9 }' "$DLG_PROBE_FILE")"
  dlg_screenshot non-bmp-install-page
  dlg_click_closing Cancel
fi
dlg_wait_exit && e2e_assert_exit 2
