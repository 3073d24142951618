#!/bin/bash
# The installer as most users meet it: the first page, Cancel, then an install with the desktop
# shortcut ticked, the installed page and "Open", then the reinstall wording, and a reinstall
# whose "Open" leaves the app running after the installer has ended.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup

installer="$E2E_WORK/PlinthSample-Setup.exe"
dlg_pack_sample "$installer"
start_menu_lnk="$E2E_START_MENU_PROGRAMS/Plinth Sample.lnk"
desktop_lnk="$E2E_DESKTOP/Plinth Sample.lnk"
install_page="Static|Install Plinth Sample 1.0.0?
Static|It's installed for you only, in $(dlg_escape "$DLG_FOLDER_WIN").
Button|Add a shortcut to the desktop
Button|Install
Button|Cancel"

e2e_log "--- Cancel on the first page"
dlg_launch "$installer"
if dlg_wait_page "Install Plinth Sample 1.0.0?"; then
  dlg_assert_title "Plinth Sample Setup"
  dlg_assert_page "install page" "$install_page"
  e2e_assert_eq "check box starts cleared" 0 "$(dlg_control_field 'Add a shortcut to the desktop' 8)"
  e2e_assert_eq "app icon at 96 DPI" 32x32 "$(dlg_icon_size)"
  dlg_screenshot install-page
  dlg_click_closing Cancel
fi
dlg_wait_exit && e2e_assert_exit 2
e2e_assert_absent "$DLG_FOLDER"
e2e_assert_reg_absent "$DLG_KEY"
e2e_assert_absent "$start_menu_lnk"
e2e_assert_absent "$desktop_lnk"

e2e_log "--- Install with the desktop shortcut, then Open"
export PLINTH_SAMPLE_MARKER='C:\plinth-sample-started.txt'
marker="$WINEPREFIX/drive_c/plinth-sample-started.txt"
dlg_launch "$installer"
if dlg_wait_page "Install Plinth Sample 1.0.0?"; then
  dlg_click "Add a shortcut to the desktop"
  e2e_check "check box ticked" e2e_wait_until 10 dlg_checked "Add a shortcut to the desktop"
  dlg_screenshot install-page-ticked
  dlg_click Install
  if dlg_wait_page "Plinth Sample is installed"; then
    dlg_assert_title "Plinth Sample Setup"
    dlg_assert_page "installed page" "Static|Plinth Sample is installed
Static|You'll find it in the Start menu.
Button|Open Plinth Sample
Button|&Close"
    e2e_assert_eq "app icon on the installed page" 32x32 "$(dlg_icon_size)"
    dlg_screenshot installed-page
    e2e_assert_file "$DLG_FOLDER/PlinthSample.exe"
    e2e_assert_file "$DLG_FOLDER/uninstall.exe"
    e2e_assert_file "$start_menu_lnk"
    e2e_assert_file "$desktop_lnk"
    e2e_assert_reg "$DLG_KEY" DisplayVersion REG_SZ 1.0.0
    e2e_assert_absent "$marker"
    dlg_click_closing "Open Plinth Sample"
  fi
fi
dlg_wait_exit && e2e_assert_exit 0
if dlg_wait_file 20 "$marker"; then
  e2e_assert_file_bytes "the app was started with its quoted path and no arguments" "$marker" \
    "\"$DLG_FOLDER_WIN\\PlinthSample.exe\""
else
  e2e_fail "the app was started" "no marker file $marker"
fi
unset PLINTH_SAMPLE_MARKER

e2e_log "--- The same version again: Escape on the reinstall page"
dlg_launch "$installer"
if dlg_wait_page "Install Plinth Sample 1.0.0 again?"; then
  dlg_screenshot reinstall-page
  dlg_keys Escape
fi
dlg_wait_exit && e2e_assert_exit 2
e2e_assert_file "$desktop_lnk"

e2e_log "--- Reinstall, then Open: the installer ends while the app keeps running"
dlg_launch "$installer"
if dlg_wait_page "Install Plinth Sample 1.0.0 again?"; then
  dlg_click Install
  if dlg_wait_page "Plinth Sample is installed"; then
    dlg_click_closing "Open Plinth Sample"
  fi
fi
# Waiting for the app would keep the installer running until the app's window closes.
dlg_wait_exit && e2e_assert_exit 0
app_window_gone() { ! _dlg_window_mapped '^Plinth Sample$'; }
if e2e_wait_until 30 _dlg_window_mapped '^Plinth Sample$'; then
  e2e_pass "the app's window is open after the installer ended"
  app_window=$(xdotool search --onlyvisible --name '^Plinth Sample$' | head -n 1)
  xdotool windowfocus --sync "$app_window" && xdotool key alt+F4
  e2e_check "the app quit" e2e_wait_until 20 app_window_gone
else
  e2e_fail "the app's window is open after the installer ended" "no window 'Plinth Sample'"
fi
