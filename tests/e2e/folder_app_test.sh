#!/bin/bash
# An app of three files (the folder sample: an exe that loads our DLL and reads a data file in a
# subfolder): installed, run, updated while it runs to a version that drops the data file and
# adds another (the DLL in use is moved aside), then removed, leaving only a file of the user's
# own in a subfolder. Each run keeps a /log, read back: the install's and the update's appended to
# one file named relative to the current folder, the removal's inside the install folder, where
# it outlives the removal. Version 1 registers three URL protocols and version 2 drops one; another
# program takes one over before the removal, which keeps it. Both carry an AppUserModelID.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup packer wine
e2e_prefix
e2e_find_built FolderApp.exe
app_v1=$(dirname "$E2E_FOUND")
manifest="${PLINTH_SOURCE_DIR:?}/examples/folder-app/app.json"
folder="$E2E_PROGRAMS_DIR/Plinth Folder Sample"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthFolderSample'

# Version 2: the same exe and DLL; data\greeting.txt dropped, data\farewell.txt added.
app_v2="$E2E_WORK/app-v2"
cp -r "$app_v1" "$app_v2" || e2e_die "Can't copy the app folder."
rm "$app_v2/data/greeting.txt"
printf 'Goodbye from version 2.\n' >"$app_v2/data/farewell.txt"

classes='HKCU\Software\Classes'
pack() {  # VERSION APP_FOLDER OUT PROTOCOLS_JSON
  jq --arg version "$1" --argjson protocols "$4" \
    '.version = $version | .appUserModelId = "Plinth.FolderSample" | .protocols = $protocols' \
    "$manifest" >"$E2E_WORK/app-$1.json" || e2e_die "jq failed."
  "$E2E_PACK" build --manifest "$E2E_WORK/app-$1.json" --app "$2" --stub "$E2E_SETUP_EXE" --out "$3" \
    >"$E2E_WORK/out/pack-$1.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}
setup_v1="$E2E_WORK/Folder 1.0 Setup.exe"
setup_v2="$E2E_WORK/Folder 2.0 Setup.exe"
pack 1.0 "$app_v1" "$setup_v1" '["plinth-folder", "plinth-folder-old", "Plinth-Folder-Taken"]'
pack 2.0 "$app_v2" "$setup_v2" '["plinth-folder", "Plinth-Folder-Taken"]'
e2e_check "inspect lists the DLL with its size" \
  grep -qF "FolderCore.dll  $(stat -c %s "$app_v1/FolderCore.dll") bytes" <("$E2E_PACK" inspect "$setup_v1")

# log_has FILE TEXT...: every TEXT is a line of the log, after its time stamp.
log_has() {
  local file=$1 text missing=(); shift
  for text in "$@"; do
    grep -qxF "$text" <(sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} //; s/\r$//' "$file") ||
      missing+=("no line '$text'")
  done
  if ((${#missing[@]} == 0)); then e2e_pass "the log $(basename "$file") has its $# lines"
  else e2e_fail "the log $(basename "$file") has its lines" "${missing[@]}"; fi
}
log_lines_stamped() {  # every line has its time stamp and ends in CR LF
  ! grep -avE $'^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} [^\r]+\r$' "$1"
}
install_log="$E2E_WORK/out/install.log"
win_folder=$(e2e_win_path "$folder")

e2e_log "-- install 1.0"
cd "$E2E_WORK/out" || e2e_die "No work folder."
e2e_run "$setup_v1" /S /LOG=install.log
cd - >/dev/null || e2e_die "No way back."
e2e_assert_exit 0
log_has "$install_log" "Fresh install of version 1.0" "Wrote $win_folder\FolderCore.dll" \
  "Wrote $win_folder\data\greeting.txt" "Wrote $win_folder\uninstall.exe" "Completed" "Exit code 0"
e2e_assert_same_file "the exe" "$app_v1/FolderApp.exe" "$folder/FolderApp.exe"
e2e_assert_same_file "the DLL" "$app_v1/FolderCore.dll" "$folder/FolderCore.dll"
e2e_assert_same_file "the data file" "$app_v1/data/greeting.txt" "$folder/data/greeting.txt"
e2e_assert_reg "$uninstall_key" InstalledFiles REG_SZ 'FolderCore.dll|data\greeting.txt'
e2e_assert_reg "$uninstall_key" UrlProtocols REG_SZ 'plinth-folder|plinth-folder-old|Plinth-Folder-Taken'
app_win=$(e2e_win_path "$folder/FolderApp.exe")
e2e_assert_reg "$classes\plinth-folder" "" REG_SZ 'URL:Plinth Folder Sample'
e2e_assert_reg "$classes\plinth-folder" "URL Protocol" REG_SZ ''
e2e_assert_reg "$classes\plinth-folder\DefaultIcon" "" REG_SZ "$app_win,0"
e2e_assert_reg "$classes\plinth-folder-old\shell\open\command" "" REG_SZ "\"$app_win\" \"%1\""
# The AppUserModelID as the shell reads it back. Wine's shell link accepts the property store's
# SetValue and Commit (the install succeeds) but its GetValue answers E_NOTIMPL (0x80004001), so
# the id is only logged here: a real Windows prints "id=Plinth.FolderSample".
e2e_find_built link_probe.exe
e2e_run "$E2E_FOUND" "$(e2e_win_path "$E2E_START_MENU_PROGRAMS/Plinth Folder Sample.lnk")"
e2e_assert_exit 0
e2e_log "the Start-menu shortcut's AppUserModelID as the shell reads it: $(tr -d '\r' <"$E2E_STDOUT_FILE")"

report="$E2E_USER_DIR/Temp/report.txt"
e2e_run "$folder/FolderApp.exe" "$(e2e_win_path "$report")"
e2e_assert_exit 0
e2e_assert_file_bytes "the app found its DLL and its data" "$report" \
  $'dll: FolderCore.dll says hello\r\ndata: greeting.txt: Hello from the data folder.\r\n'

mkdir -p "$folder/data/user" && printf 'mine\n' >"$folder/data/user/mine.txt"

e2e_log "-- update to 2.0 while 1.0 runs"
running_report="$E2E_USER_DIR/Temp/running.txt"
e2e_start "$folder/FolderApp.exe" "$(e2e_win_path "$running_report")" --stay
app_pid=$E2E_BG_PID
e2e_wait_until 30 test -s "$running_report" || e2e_fail "the app runs" "no report within 30 s"
e2e_run "$setup_v2" --log="$(e2e_win_path "$install_log")" /S
e2e_assert_exit 0
log_has "$install_log" "Update to version 2.0 from 1.0" "Deleted $win_folder\data\greeting.txt" \
  "Moved aside $win_folder\FolderCore.dll to $win_folder\FolderCore.dll.1.old" \
  "Wrote $win_folder\data\farewell.txt" "Exit code 0"
e2e_assert_eq "both runs appended to the log" 2 "$(grep -c ' Started plinth-setup ' "$install_log")"
e2e_check "every line of the log is stamped" log_lines_stamped "$install_log"
e2e_assert_file "$folder/FolderCore.dll.1.old"
e2e_assert_same_file "the new DLL" "$app_v2/FolderCore.dll" "$folder/FolderCore.dll"
e2e_assert_absent "$folder/data/greeting.txt"
e2e_assert_same_file "the added data file" "$app_v2/data/farewell.txt" "$folder/data/farewell.txt"
e2e_assert_file "$folder/data/user/mine.txt"
e2e_assert_reg "$uninstall_key" InstalledFiles REG_SZ 'FolderCore.dll|data\farewell.txt'
e2e_assert_reg_absent "$classes\plinth-folder-old"
e2e_assert_reg "$classes\plinth-folder\shell\open\command" "" REG_SZ "\"$app_win\" \"%1\""
e2e_assert_reg "$uninstall_key" UrlProtocols REG_SZ 'plinth-folder|Plinth-Folder-Taken'
e2e_wine taskkill /f /im FolderApp.exe >/dev/null
E2E_BG_PID=$app_pid e2e_wait_exit 20

e2e_run "$folder/FolderApp.exe" "$(e2e_win_path "$report")"
e2e_assert_exit 0
e2e_assert_file_bytes "version 2 finds its new data file" "$report" \
  $'dll: FolderCore.dll says hello\r\ndata: farewell.txt: Goodbye from version 2.\r\n'

e2e_log "-- removal, after another program took a scheme over"
e2e_wine reg add "$classes\plinth-folder-taken\shell\open\command" /ve /d '"C:\other.exe" "%1"' /f >/dev/null
e2e_run "$folder/uninstall.exe" /uninstall /S "/log=$win_folder\removal.log"
e2e_assert_exit 0
gone() { [[ ! -e "$1" ]]; }
e2e_wait_until 30 gone "$folder/uninstall.exe" || e2e_fail "uninstall.exe goes" "still there after 30 s"
e2e_assert_eq "only the user's file and the log are left, with their folders" "data
data/user
data/user/mine.txt
removal.log" "$(cd "$folder" && find . -mindepth 1 | sed 's|^\./||' | sort)"
log_has "$folder/removal.log" "Removal of version 2.0" "Deleted $win_folder\FolderApp.exe" \
  "Deleted $win_folder\FolderCore.dll" "Deleted $win_folder\FolderCore.dll.1.old" \
  "Deleted the registry key Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthFolderSample" \
  "Started the self-deletion of $win_folder" "Exit code 0"
e2e_check "the removal's log says it stays" grep -q "Kept the log, and the folder with it: .*removal.log" "$folder/removal.log"
e2e_check "every line of the removal's log is stamped" log_lines_stamped "$folder/removal.log"
e2e_assert_reg_absent "$uninstall_key"
e2e_assert_reg_absent "$classes\plinth-folder"
e2e_assert_reg "$classes\plinth-folder-taken\shell\open\command" "" REG_SZ '"C:\other.exe" "%1"'
