#!/bin/bash
# The licence window before an interactive install: read back whole from its edit control, in
# German declined (exit 2, nothing written), in English accepted (the install page follows, with
# "Change folder..." as the manifest allows); not shown again for the same text, shown for an
# update whose text changed, never for a silent run or a removal. The packer's inspect names it.
# "Change folder..." drives Wine's own folder picker: the Windows folder is refused with its reason
# on the page, then a folder holding other things gets the app's own folder inside it.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup

# Long enough that the edit control must scroll; a line of non-ASCII text first.
license="$E2E_WORK/LICENSE.txt"
{
  printf 'Plinth Sample licence – Übersicht\r\n\r\n'
  for i in $(seq 1 150); do printf '%d.\tThe licensee may read line %d of this licence to its end.\r\n' "$i" "$i"; done
  printf 'The last line.'
} >"$license"
license_bytes=$(tr -d '\r' <"$license" | wc -c)
with_license='s/"exe": "PlinthSample.exe",/&\n  "license": "LICENSE.txt", "allowFolderChoice": true,/'
installer="$E2E_WORK/PlinthSample-Setup.exe"
dlg_pack_sample "$installer" "$with_license"
"$E2E_PACK" inspect "$installer" >"$E2E_WORK/out/inspect.txt"
e2e_check "inspect names the licence" grep -qxF "License: \"Plinth Sample licence – Übersicht\", $license_bytes bytes" \
  "$E2E_WORK/out/inspect.txt"

# The text as the probe reads it from the edit control: CR LF line breaks, written \r\n.
expected_text=$(tr -d '\r' <"$license" | awk 'BEGIN { ORS = "" } { gsub(/\\/, "\\\\"); gsub(/\t/, "\\t"); if (NR > 1) print "\\r\\n"; print }')
license_window() {  # TITLE HEADING ACCEPT CANCEL
  printf 'Static|%s\nEdit|%s\nButton|%s\nButton|%s' "$2" "$expected_text" "$3" "$4"
}

# pick_folder PATH: "Change folder...", then PATH typed into the picker's file name box and Return.
_picker_open() { dlg_probe && awk -F'\t' '$1 == "window" && $9 == "Select Folder" { f = 1 } END { exit !f }' "$DLG_PROBE_FILE"; }
pick_folder() {
  dlg_click "Change folder..." || return 1
  if ! e2e_wait_until 20 _picker_open; then
    e2e_fail "the folder picker opened" "no window 'Select Folder'"
    return 1
  fi
  local left top right bottom
  read -r left top right bottom <<<"$(awk -F'\t' '$1 == "control" && $2 == "Edit" && $7 == 1 { print $3, $4, $5, $6; exit }' \
    "$DLG_PROBE_FILE")"
  xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
  xdotool type --delay 20 "$1"
  xdotool key Return
}
page_says() { dlg_probe && grep -qF "$1" "$DLG_PROBE_FILE"; }
mkdir -p "$WINEPREFIX/drive_c/Tools" && echo other >"$WINEPREFIX/drive_c/Tools/notes.txt"
chosen="$WINEPREFIX/drive_c/Tools/Plinth Sample"

e2e_log "--- German: the licence window, then Cancel"
{ LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 dlg_launch "$installer"; } 2>/dev/null
if dlg_wait_page "Ich stimme zu"; then
  dlg_assert_title "Plinth Sample Setup"
  dlg_assert_page "the licence window in German, its text whole" "$(license_window "" \
    "Um Plinth Sample zu installieren, müssen Sie die Lizenz akzeptieren." "Ich stimme zu" "Abbrechen")"
  dlg_screenshot license-de
  dlg_click_closing Abbrechen
fi
dlg_wait_exit && e2e_assert_exit 2
e2e_assert_absent "$DLG_FOLDER"
e2e_assert_reg_absent "$DLG_KEY"

e2e_log "--- English: I accept, then the install page with Change folder..."
dlg_launch "$installer"
if dlg_wait_page "I accept"; then
  dlg_assert_page "the licence window" "$(license_window "" "To install Plinth Sample, you must accept its license." \
    "I accept" "Cancel")"
  dlg_screenshot license
  dlg_click "I accept"
  if dlg_wait_page "Install Plinth Sample 1.0.0?"; then
    dlg_assert_page "the install page offers the folder choice" "Static|Install Plinth Sample 1.0.0?
Static|It's installed for you only, in $(dlg_escape "$DLG_FOLDER_WIN").
Button|Add a shortcut to the desktop
Button|Install
Button|Change folder...
Button|Cancel"
    dlg_screenshot install-page-folder-choice
    e2e_assert_absent "nothing written before Install" "$DLG_FOLDER"
    pick_folder 'C:\windows'
    e2e_check "a refused folder says why" e2e_wait_until 20 page_says "it is the Windows folder or inside it."
    dlg_screenshot folder-refused
    pick_folder 'C:\Tools'
    dlg_wait_page "$(dlg_escape "It's installed for you only, in C:\Tools\Plinth Sample.")"
    dlg_screenshot folder-chosen
    dlg_click Install
    if dlg_wait_page "Plinth Sample is installed"; then
      dlg_click_closing "&Close"
    fi
  fi
fi
dlg_wait_exit && e2e_assert_exit 0
e2e_assert_file "$chosen/PlinthSample.exe"
e2e_assert_reg "$DLG_KEY" InstallLocation REG_SZ 'C:\Tools\Plinth Sample'
e2e_assert_absent "nothing in the default folder" "$DLG_FOLDER"

e2e_log "--- The same licence again: the reinstall page first, without the folder choice"
dlg_launch "$installer"
if dlg_wait_page "Install Plinth Sample 1.0.0 again?"; then
  e2e_check "no folder choice for an installed app" bash -c "! grep -q 'Change folder' '$DLG_PROBE_FILE'"
  dlg_click_closing Cancel
fi
dlg_wait_exit && e2e_assert_exit 2

e2e_log "--- An update whose licence changed shows it; Esc declines"
printf '\nA new clause.\n' >>"$license"
update="$E2E_WORK/PlinthSample-Setup-2.exe"
dlg_pack_sample "$update" "$with_license;s/\"version\": \"1.0.0\"/\"version\": \"2.0.0\"/"
dlg_launch "$update"
if dlg_wait_page "I accept"; then
  dlg_keys Escape
fi
dlg_wait_exit && e2e_assert_exit 2
e2e_assert_reg "$DLG_KEY" DisplayVersion REG_SZ 1.0.0

e2e_log "--- A silent run takes it as accepted; a removal never shows it"
e2e_run "$update" /S
e2e_assert_exit 0
e2e_assert_reg "$DLG_KEY" DisplayVersion REG_SZ 2.0.0
dlg_launch "$chosen/uninstall.exe" /uninstall
if dlg_wait_page "Remove Plinth Sample?"; then
  e2e_check "no licence before the removal" bash -c "! grep -q 'I accept' '$DLG_PROBE_FILE'"
  dlg_click_closing Cancel
fi
dlg_wait_exit && e2e_assert_exit 2
