# Helpers for the interactive end-to-end tests: a real task dialog under Xvfb, driven with real
# XTEST input (xdotool) and read back with the dialog_probe helper. Source after lib.sh:
#
#   source "$(dirname "$0")/dialog_lib.sh"
#   dlg_setup                                  # prefix, X server, probe
#   dlg_launch "$installer"                    # runs it in the background
#   dlg_wait_page "Install Plinth Sample 1.0.0?" && dlg_screenshot first-page
#   dlg_click "Install"
#   dlg_wait_exit && e2e_assert_exit 0
#
# Every wait polls for a window, a text or a file; none sleeps for a fixed time.

DLG_TIMEOUT=${DLG_TIMEOUT:-30}
DLG_SHOT_COUNT=0
DLG_PID=""

# dlg_setup: the test's prefix, its own X server and the probe; screenshots go to
# $PLINTH_E2E_ROOT/screenshots. Sets DLG_FOLDER (DLG_FOLDER_WIN as Windows spells it) and DLG_KEY:
# the sample app's default install folder and uninstall key.
dlg_setup() {
  command -v xdotool >/dev/null || e2e_die "xdotool is missing: run scripts/setup-machine as root."
  command -v import >/dev/null || e2e_die "ImageMagick's import is missing: run scripts/setup-machine as root."
  e2e_find_built dialog_probe.exe
  DLG_PROBE_EXE=$E2E_FOUND
  e2e_prefix
  e2e_xvfb
  DLG_SHOTS="${PLINTH_E2E_ROOT:?}/screenshots"
  mkdir -p "$DLG_SHOTS" || e2e_die "Can't create $DLG_SHOTS."
  rm -f "$DLG_SHOTS/${PLINTH_E2E_TEST:-dialog}"-*.png
  DLG_PROBE_FILE="$E2E_WORK/probe.txt"
  # Where the sample app installs by default, and its uninstall key.
  DLG_FOLDER="$E2E_PROGRAMS_DIR/Plinth Sample"
  DLG_FOLDER_WIN="C:\\users\\$E2E_WIN_USER\\AppData\\Local\\Programs\\Plinth Sample"
  DLG_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
}

# dlg_launch EXE [ARGS...]: starts EXE under Wine in the background (dlg_wait_exit collects it).
dlg_launch() {
  E2E_RUN_COUNT=$((${E2E_RUN_COUNT:-0} + 1))
  E2E_STDOUT_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.stdout"
  E2E_STDERR_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.stderr"
  DLG_RC_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.rc"
  rm -f "$DLG_RC_FILE"
  (
    timeout --kill-after=5 120 "$E2E_WINE" "$@" </dev/null >"$E2E_STDOUT_FILE" 2>"$E2E_STDERR_FILE"
    echo $? >"$DLG_RC_FILE"
  ) &
  DLG_PID=$!
}

# dlg_wait_exit: waits for the launched program; sets E2E_RC. Fails when it is still running
# after DLG_TIMEOUT seconds (the dialog did not close).
dlg_wait_exit() {
  if ! e2e_wait_until "$DLG_TIMEOUT" test -s "$DLG_RC_FILE"; then
    E2E_RC=timeout
    e2e_fail "the installer ended" "still running after $DLG_TIMEOUT s"
    dlg_probe && e2e_log "on screen:" && sed 's/^/      /' "$DLG_PROBE_FILE"
    return 1
  fi
  wait "$DLG_PID" 2>/dev/null
  E2E_RC=$(cat "$DLG_RC_FILE")
  DLG_PID=""
  return 0
}

# dlg_probe: the dialogs on screen into $DLG_PROBE_FILE; fails when there is none.
dlg_probe() {
  local status
  "$E2E_WINE" "$DLG_PROBE_EXE" </dev/null 2>/dev/null | tr -d '\r' >"$DLG_PROBE_FILE"
  status=${PIPESTATUS[0]}
  return "$status"
}

# The controls of the probed dialog as "Class|text" lines, in window order, leaving out the
# icon (a Static without text) and the dialog's own frame.
dlg_page_texts() {
  awk -F'\t' '$1 == "control" && $9 != "" { print $2 "|" $9 }' "$DLG_PROBE_FILE"
}

_dlg_has_text() {
  dlg_probe || return 1
  DLG_WANT=$1 awk -F'\t' '$1 == "control" && $9 == ENVIRON["DLG_WANT"] && $7 == 1 { found = 1 } END { exit !found }' \
    "$DLG_PROBE_FILE"
}

_dlg_window_mapped() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

# dlg_wait_page TEXT: waits until a visible control of a dialog shows TEXT (as the probe writes
# it: backslashes doubled) and the dialog window is mapped on the X server.
dlg_wait_page() {
  if ! e2e_wait_until "$DLG_TIMEOUT" _dlg_has_text "$1"; then
    e2e_fail "page shown: $1" "not on screen after $DLG_TIMEOUT s"
    [[ -s "$DLG_PROBE_FILE" ]] && e2e_log "on screen:" && sed 's/^/      /' "$DLG_PROBE_FILE"
    return 1
  fi
  local title
  title=$(awk -F'\t' '$1 == "window" { print $9; exit }' "$DLG_PROBE_FILE")
  if ! e2e_wait_until "$DLG_TIMEOUT" _dlg_window_mapped "^${title}\$"; then
    e2e_fail "page shown: $1" "the window '$title' is not mapped"
    return 1
  fi
  DLG_WINDOW_ID=$(xdotool search --onlyvisible --name "^${title}\$" | head -n 1)
  e2e_pass "page shown: $1"
}

# dlg_assert_page DESCRIPTION EXPECTED: the probed page's controls (dlg_page_texts) are exactly
# EXPECTED, one "Class|text" per line.
dlg_assert_page() {
  local actual
  actual=$(dlg_page_texts)
  if [[ "$actual" == "$2" ]]; then
    e2e_pass "$1"
  else
    e2e_fail "$1" "expected:" $'\n'"$2" "actual:" $'\n'"$actual"
  fi
}

# dlg_assert_title EXPECTED: the dialog window's title.
dlg_assert_title() {
  e2e_assert_eq "window title" "$1" "$(awk -F'\t' '$1 == "window" { print $9; exit }' "$DLG_PROBE_FILE")"
}

# dlg_control_field TEXT FIELD: a field (probe column) of the visible control showing TEXT.
dlg_control_field() {
  DLG_WANT=$1 awk -F'\t' -v field="$2" '$1 == "control" && $9 == ENVIRON["DLG_WANT"] && $7 == 1 { print $field; exit }' \
    "$DLG_PROBE_FILE"
}

# dlg_icon_size: "WIDTHxHEIGHT" of the page's main icon (the Static control without text that
# comes first), or nothing.
dlg_icon_size() {
  awk -F'\t' '$1 == "control" && $2 == "Static" && $9 == "" && $7 == 1 { print ($5 - $3) "x" ($6 - $4); exit }' \
    "$DLG_PROBE_FILE"
}

# dlg_static_count: how many visible Static controls the page has (icon, instruction, content).
dlg_static_count() {
  awk -F'\t' '$1 == "control" && $2 == "Static" && $7 == 1 { n++ } END { print n + 0 }' "$DLG_PROBE_FILE"
}

# dlg_click TEXT: a real mouse click at the centre of the control showing TEXT. A page that
# replaces another is probed while Wine still creates its controls: its text can be on screen a
# moment before its buttons, so a control missing from the last probe is waited for.
dlg_click() {
  local line
  if ! DLG_WANT=$1 awk -F'\t' '$1 == "control" && $9 == ENVIRON["DLG_WANT"] && $7 == 1 { found = 1 } END { exit !found }' \
    "$DLG_PROBE_FILE"; then
    e2e_wait_until 10 _dlg_has_text "$1"
  fi
  line=$(DLG_WANT=$1 awk -F'\t' '$1 == "control" && $9 == ENVIRON["DLG_WANT"] && $7 == 1 { print $3, $4, $5, $6; exit }' \
    "$DLG_PROBE_FILE")
  if [[ -z "$line" ]]; then
    e2e_fail "click '$1'" "no such control on the page"
    return 1
  fi
  local left top right bottom
  read -r left top right bottom <<<"$line"
  xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}

# dlg_click_closing TEXT: dlg_click on a button that ends the dialog (Cancel, Close, Open), again
# while the installer still runs with TEXT on screen: under heavy load a click has been seen to
# get lost. A second click after a slow but successful one falls on whatever replaced the dialog.
dlg_click_closing() {
  local attempt
  for attempt in 1 2 3; do
    dlg_click "$1" || return 1
    e2e_wait_until 15 test -s "$DLG_RC_FILE" && return 0
    _dlg_has_text "$1" || return 0
    e2e_log "'$1' still on screen 15 s after a click (attempt $attempt)"
  done
}

# dlg_keys KEY...: focuses the dialog window (waiting for the X server to confirm) and types KEYs.
dlg_keys() {
  xdotool windowfocus --sync "$DLG_WINDOW_ID" && xdotool key "$@"
}

# dlg_screenshot NAME: the dialog (from the last probe) as $DLG_SHOTS/<test>-<n>-NAME.png.
dlg_screenshot() {
  DLG_SHOT_COUNT=$((DLG_SHOT_COUNT + 1))
  local file
  file=$(printf '%s/%s-%02d-%s.png' "$DLG_SHOTS" "${PLINTH_E2E_TEST:-dialog}" "$DLG_SHOT_COUNT" "$1")
  local rect left top right bottom
  rect=$(awk -F'\t' '$1 == "window" { print $3, $4, $5, $6; exit }' "$DLG_PROBE_FILE")
  read -r left top right bottom <<<"$rect"
  if [[ -n "$rect" ]]; then
    import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+${left}+${top}" +repage \
      "$file" >/dev/null 2>&1 || e2e_log "(no screenshot $1)"
  else
    import -display "$DISPLAY" -window root "$file" >/dev/null 2>&1 || e2e_log "(no screenshot $1)"
  fi
}

# dlg_wait_file SECONDS FILE: waits until FILE exists and is not empty.
dlg_wait_file() { e2e_wait_until "$1" test -s "$2"; }

# Packs the sample app with a manifest edited by a jq-free sed expression; prints nothing.
# dlg_pack_sample OUT [SED_EXPRESSION]
dlg_pack_sample() {
  local out=$1 manifest="$E2E_WORK/app.json"
  sed -e "${2:-}" "$E2E_SAMPLE_MANIFEST" >"$manifest"
  "$E2E_PACK" build --manifest "$manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$out" \
    >"$E2E_WORK/out/pack.log" 2>&1 || e2e_die "Packing failed: $(cat "$E2E_WORK/out/pack.log")"
}

# dlg_escape TEXT: TEXT as the probe writes it (backslashes doubled).
dlg_escape() { printf '%s' "${1//\\/\\\\}"; }

# dlg_checked TEXT: succeeds when the check box showing TEXT is ticked (probes afresh).
dlg_checked() { dlg_probe && [[ "$(dlg_control_field "$1" 8)" == 1 ]]; }
