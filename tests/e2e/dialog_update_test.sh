#!/bin/bash
# An older version installed silently, then the newer installer: the update wording, the update
# itself without the desktop shortcut, Close. The system DPI is raised to 168, where the app icon
# is 56 pixels.
# e2e-timeout: 240
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup

old="$E2E_WORK/PlinthSample-0.9-Setup.exe"
new="$E2E_WORK/PlinthSample-1.0-Setup.exe"
dlg_pack_sample "$old" 's/"version": *"1.0.0"/"version": "0.9.0"/'
dlg_pack_sample "$new"

e2e_run "$old" /S
e2e_assert_exit 0
e2e_assert_reg "$DLG_KEY" DisplayVersion REG_SZ 0.9.0

e2e_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 168 /f >/dev/null
dlg_launch "$new"
if dlg_wait_page "Update Plinth Sample from 0.9.0 to 1.0.0?"; then
  dlg_assert_title "Plinth Sample Setup"
  e2e_assert_eq "app icon at 168 DPI" 56x56 "$(dlg_icon_size)"
  dlg_screenshot update-page
  dlg_click Install
  if dlg_wait_page "Plinth Sample is installed"; then
    dlg_screenshot installed-page
    dlg_click_closing "&Close"
  fi
fi
dlg_wait_exit && e2e_assert_exit 0
e2e_assert_reg "$DLG_KEY" DisplayVersion REG_SZ 1.0.0
e2e_assert_absent "$E2E_DESKTOP/Plinth Sample.lnk"
e2e_assert_file "$E2E_START_MENU_PROGRAMS/Plinth Sample.lnk"
