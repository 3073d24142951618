#!/bin/bash
# The pages in the user's language, which Wine takes from LANG: the sample packed with every
# shipped language; a silent install under German that fails still writes the English setup:
# line; then the pages read back in German (the failure page too), Japanese and Arabic, the
# Arabic one laid out right to left. A screenshot of each.
# e2e-timeout: 300
# A dialog's first page under Wine can take long on a loaded machine.
DLG_TIMEOUT=${DLG_TIMEOUT:-60}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup

installer="$E2E_WORK/PlinthSample-Setup.exe"
dlg_pack_sample "$installer"
e2e_check "the summary gives the languages' cost" grep -qE '^  texts: English and [0-9]+ more, [0-9]+ bytes: .*\bde [0-9]+ .*\bja [0-9]+' \
  "$E2E_WORK/out/pack.log"
"$E2E_PACK" inspect "$installer" >"$E2E_WORK/out/inspect.log" 2>&1
e2e_check "inspect lists Arabic with all its texts" grep -qE '^  ar  [0-9]+ bytes, 43 of 43 texts$' "$E2E_WORK/out/inspect.log"

# A file where the install folder goes makes the install fail.
mkdir -p "$E2E_PROGRAMS_DIR" && printf 'in the way' >"$E2E_PROGRAMS_DIR/Plinth Sample"

# in_language LOCALE COMMAND...: the command with Wine's display language set (bash's own warning
# that the locale isn't generated on this machine is dropped).
in_language() {
  local locale=$1
  shift
  { LANG=$locale LC_ALL=$locale "$@"; } 2>/dev/null
}

e2e_log "--- Silent install under German"
in_language de_DE.UTF-8 e2e_run "$installer" /S
e2e_assert_exit 1
e2e_check "the setup: line is English" \
  grep -qE "^setup: Can't create the folder $(printf '%s' "$DLG_FOLDER_WIN" | sed 's/[\\.]/\\&/g'): .+$" "$E2E_STDERR_FILE"

# click_last_button: clicks the page's last button, the dialog's own Cancel in Wine's words.
click_last_button() {
  local text
  text=$(awk -F'\t' '$1 == "control" && $2 == "Button" && $7 == 1 { t = $9 } END { print t }' "$DLG_PROBE_FILE")
  dlg_click_closing "$text"
}

# our_texts: the page's texts without Wine's own Cancel or Close button (the last control).
our_texts() { dlg_page_texts | sed '$d'; }

# wait_page TEXT: dlg_wait_page for a page whose title isn't ASCII (xdotool can't match it): the
# window is found by the app's name in it.
wait_page() {
  if e2e_wait_until "$DLG_TIMEOUT" _dlg_has_text "$1" && e2e_wait_until "$DLG_TIMEOUT" _dlg_window_mapped "Plinth Sample"; then
    e2e_pass "page shown: $1"
  else
    e2e_fail "page shown: $1" "not on screen after $DLG_TIMEOUT s"
    return 1
  fi
}

e2e_log "--- German pages"
in_language de_DE.UTF-8 dlg_launch "$installer"
if dlg_wait_page "Plinth Sample 1.0.0 installieren?"; then
  dlg_assert_title "Plinth Sample Setup"
  e2e_assert_eq "German install page" "Static|Plinth Sample 1.0.0 installieren?
Static|Die Installation erfolgt nur für Sie, in $(dlg_escape "$DLG_FOLDER_WIN").
Button|Verknüpfung auf dem Desktop erstellen
Button|Installieren" "$(our_texts)"
  e2e_assert_eq "laid out left to right" 0 "$(awk -F'\t' '$1 == "window" { print $10; exit }' "$DLG_PROBE_FILE")"
  dlg_screenshot german-install-page
  dlg_click Installieren
  if dlg_wait_page "Plinth Sample konnte nicht installiert werden"; then
    content=$(awk -F'\t' '$1 == "control" && $9 != "" { n++; if (n == 2) print $9 }' "$DLG_PROBE_FILE")
    e2e_check "the failure text is German" \
      bash -c '[[ "$1" == "Der Ordner $2 kann nicht erstellt werden: "*" (os error "*")" ]]' _ "$content" "$(dlg_escape "$DLG_FOLDER_WIN")"
    e2e_log "      content: $content"
    dlg_screenshot german-failure-page
    click_last_button
  fi
fi
dlg_wait_exit && e2e_assert_exit 1
e2e_assert_file_bytes "nothing on standard error for an interactive failure" "$E2E_STDERR_FILE" ""
rm -f "$E2E_PROGRAMS_DIR/Plinth Sample"

# Wine's dialog font has no CJK or Arabic letters: before each of those runs it is replaced by a
# Debian font that has them (fonts-wqy-microhei, fonts-dejavu-core), so the screenshots read.
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
  "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || e2e_log "(fonts for the screenshots missing)"
use_font() {
  local font
  for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI"; do
    "$E2E_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "$1" /f >/dev/null 2>&1
  done
}

e2e_log "--- Japanese page"
use_font "WenQuanYi Micro Hei"
in_language ja_JP.UTF-8 dlg_launch "$installer"
if wait_page "Plinth Sample 1.0.0 をインストールしますか？"; then
  dlg_assert_title "Plinth Sample セットアップ"
  e2e_assert_eq "Japanese install page" "Static|Plinth Sample 1.0.0 をインストールしますか？
Static|このユーザーのみを対象に、$(dlg_escape "$DLG_FOLDER_WIN") にインストールされます。
Button|デスクトップにショートカットを追加する
Button|インストール" "$(our_texts)"
  dlg_screenshot japanese-install-page
  click_last_button
fi
dlg_wait_exit && e2e_assert_exit 2

e2e_log "--- Arabic page, right to left"
use_font "DejaVu Sans"
in_language ar_SA.UTF-8 dlg_launch "$installer"
if wait_page "هل تريد تثبيت Plinth Sample 1.0.0؟"; then
  dlg_assert_title "إعداد Plinth Sample"
  e2e_assert_eq "Arabic install page" "Static|هل تريد تثبيت Plinth Sample 1.0.0؟
Static|سيتم التثبيت لك فقط، في $(dlg_escape "$DLG_FOLDER_WIN").
Button|إضافة اختصار إلى سطح المكتب
Button|تثبيت" "$(our_texts)"
  e2e_assert_eq "laid out right to left" 1 "$(awk -F'\t' '$1 == "window" { print $10; exit }' "$DLG_PROBE_FILE")"
  dlg_screenshot arabic-install-page
  click_last_button
fi
dlg_wait_exit && e2e_assert_exit 2
e2e_assert_absent "$DLG_FOLDER"
