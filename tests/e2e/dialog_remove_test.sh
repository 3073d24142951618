#!/bin/bash
# Interactive removal with the installed uninstall.exe: first while the app is running (the
# failure page), then after it has quit: the remove page, the removed page, Close, and the
# self-deletion of the uninstaller and its folder.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup

installer="$E2E_WORK/PlinthSample-Setup.exe"
dlg_pack_sample "$installer"
remove_page="Static|Remove Plinth Sample?
Static|Plinth Sample will be removed from this computer. The documents you made with it stay where they are.
Button|Remove
Button|Cancel"

e2e_run "$installer" /S
e2e_assert_exit 0
[[ -f "$DLG_FOLDER/uninstall.exe" ]] || e2e_die "The silent install left no uninstall.exe."

e2e_log "--- Removal while the app is running"
"$E2E_WINE" "$DLG_FOLDER_WIN\\PlinthSample.exe" </dev/null >/dev/null 2>&1 &
app_pid=$!
e2e_wait_until 30 _dlg_window_mapped '^Plinth Sample$' ||
  e2e_die "The sample app's window did not appear."
app_window=$(xdotool search --onlyvisible --name '^Plinth Sample$' | head -n 1)
dlg_launch "$DLG_FOLDER_WIN\\uninstall.exe" /uninstall
if dlg_wait_page "Remove Plinth Sample?"; then
  dlg_assert_title "Plinth Sample Setup"
  dlg_assert_page "remove page" "$remove_page"
  dlg_screenshot remove-page
  dlg_click Remove
  if dlg_wait_page "Plinth Sample couldn't be removed"; then
    dlg_assert_page "failure page" "Static|Plinth Sample couldn't be removed
Static|Plinth Sample is open. Quit it, then try again.
Button|&Close"
    dlg_screenshot removal-failure-page
    dlg_click_closing "&Close"
  fi
fi
dlg_wait_exit && e2e_assert_exit 1
e2e_assert_file "$DLG_FOLDER/uninstall.exe"

# The user quits the app (Alt+F4 in its window).
xdotool windowfocus --sync "$app_window" && xdotool key alt+F4
e2e_check "the app quit" e2e_wait_until 20 bash -c "! kill -0 $app_pid 2>/dev/null"
wait "$app_pid" 2>/dev/null

e2e_log "--- Removal"
dlg_launch "$DLG_FOLDER_WIN\\uninstall.exe" /uninstall
if dlg_wait_page "Remove Plinth Sample?"; then
  dlg_click Remove
  if dlg_wait_page "Plinth Sample is removed"; then
    dlg_assert_page "removed page (no content line)" "Static|Plinth Sample is removed
Button|&Close"
    e2e_assert_eq "removed page: icon and instruction only" 2 "$(dlg_static_count)"
    dlg_screenshot removed-page
    dlg_click_closing "&Close"
  fi
fi
dlg_wait_exit && e2e_assert_exit 0
e2e_assert_reg_absent "$DLG_KEY"
e2e_assert_absent "$DLG_FOLDER/PlinthSample.exe"
e2e_assert_absent "$E2E_START_MENU_PROGRAMS/Plinth Sample.lnk"
e2e_check "the self-deletion removed uninstall.exe and the folder" e2e_wait_until 30 test ! -e "$DLG_FOLDER"
