#!/bin/bash
# Names and registry values that another program or a tampered entry put in the installer's way.
# The packer: two files Windows takes for one (Łódź.exe beside łódź.exe), the device names with a
# superscript digit or a zero, and a ProgID that another program registers (a warning). Under
# Wine: a ProgID rewritten by another program since the install survives the removal, and an
# entry pointed at the user's Documents with a list naming the user's files deletes none of them.
# Folders of the app replaced by links to a folder of the user's: nothing is deleted through them.
# e2e-timeout: 180
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer wine
e2e_prefix

UNINSTALL='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# pack NAME MANIFEST_JSON APP: packs into $E2E_WORK/NAME-Setup.exe; the log in out/NAME.pack.log.
pack() {
  printf '%s' "$2" >"$E2E_WORK/$1.json"
  "$E2E_PACK" build --manifest "$E2E_WORK/$1.json" --app "$3" --stub "$E2E_SETUP_EXE" \
    --out "$E2E_WORK/$1-Setup.exe" >"$E2E_WORK/out/$1.pack.log" 2>&1
}
refused() {  # LABEL NAME MANIFEST APP TEXT: the packer refuses, saying TEXT
  if pack "$2" "$3" "$4"; then
    e2e_fail "$1: refused" "the packer accepted it"
  else
    e2e_check "$1: refused, saying why" grep -qF "$5" "$E2E_WORK/out/$2.pack.log"
  fi
}

# Two files Windows takes for one: the exe Łódź.exe and a data file łódź.exe.
lodz="$E2E_WORK/lodz"
mkdir -p "$lodz"
cp "$E2E_SAMPLE_EXE" "$lodz/Łódź.exe"
printf 'data, not the app\n' >"$lodz/łódź.exe"
refused "Łódź.exe beside łódź.exe" lodz '{"name": "Lodz", "id": "Harden.Lodz", "version": "1.0", "exe": "Łódź.exe"}' \
  "$lodz" "which are one file on Windows (it ignores case)"

# Device names Windows has beyond the plain digits: an exe COM³.exe, a file lpt².log, COM0.
refused "exe COM³.exe" com3 '{"name": "Com", "id": "Harden.Com", "version": "1.0", "exe": "COM³.exe"}' \
  "$E2E_SAMPLE_EXE" "reserves for a device"
devices="$E2E_WORK/devices"
mkdir -p "$devices"
cp "$E2E_SAMPLE_EXE" "$devices/PlinthSample.exe"
printf 'log\n' >"$devices/lpt².log"
refused "a file lpt².log" lpt2 '{"name": "Lpt", "id": "Harden.Lpt", "version": "1.0", "exe": "PlinthSample.exe"}' \
  "$devices" "reserves for a device"
rm "$devices/lpt².log"
printf 'x\n' >"$devices/COM0.txt"
refused "a file COM0.txt" com0 '{"name": "Com0", "id": "Harden.Com0", "version": "1.0", "exe": "PlinthSample.exe"}' \
  "$devices" "reserves for a device"

# An app whose id and first extension make Python's ProgID: packed with a warning, installed,
# then Python registers its file type again. The removal leaves Python's key as Python wrote it.
python_app='{"name": "Snake Notes", "id": "Python", "version": "1.0", "exe": "PlinthSample.exe",
  "documents": [{"name": "Snake note", "extensions": ["File"]}]}'
pack python "$python_app" "$E2E_SAMPLE_EXE" || e2e_die "Packing failed: $(cat "$E2E_WORK/out/python.pack.log")"
e2e_check "the packer warns of Python's ProgID" grep -qF 'gets the ProgID "Python.File", which Python registers too' \
  "$E2E_WORK/out/python.pack.log"
e2e_run "$E2E_WORK/python-Setup.exe" /S
e2e_assert_exit 0
folder="$E2E_PROGRAMS_DIR/Snake Notes"
e2e_assert_file "$folder/PlinthSample.exe"
progid='HKCU\Software\Classes\Python.File'
python_command='"C:\Python\python.exe" "%1" %*'
e2e_wine reg add "$progid\\shell\\open\\command" /ve /t REG_SZ /d "$python_command" /f >/dev/null
e2e_run "$folder/uninstall.exe" /uninstall /S
e2e_assert_exit 0
e2e_assert_absent "$folder/PlinthSample.exe"
e2e_assert_reg "$progid\\shell\\open\\command" '' REG_SZ "$python_command"
e2e_assert_reg_absent "$UNINSTALL\\Python"

# A second install of the same app, removed while the ProgID is still its own: the key goes.
e2e_wine reg delete "$progid" /f >/dev/null
e2e_run "$E2E_WORK/python-Setup.exe" /S
e2e_assert_exit 0
e2e_run "$folder/uninstall.exe" /uninstall /S
e2e_assert_exit 0
e2e_assert_reg_absent "$progid"

# The entry's folder pointed at Documents, with a list naming the user's files: the removal
# deletes none of them (no exe or uninstall.exe of the app there) and still removes the entry.
pack sample '{"name": "Plain Notes", "id": "Harden.Plain", "version": "1.0", "exe": "PlinthSample.exe"}' \
  "$E2E_SAMPLE_EXE" || e2e_die "Packing failed: $(cat "$E2E_WORK/out/sample.pack.log")"
e2e_run "$E2E_WORK/sample-Setup.exe" /S
e2e_assert_exit 0
plain="$E2E_PROGRAMS_DIR/Plain Notes"
documents="$E2E_USER_DIR/Documents"
mkdir -p "$documents/Work"
printf 'my thesis\n' >"$documents/thesis.docx"
printf 'my plan\n' >"$documents/Work/plan.txt"
printf 'my report\n' >"$documents/report.old"
e2e_wine reg add "$UNINSTALL\\Harden.Plain" /v InstallLocation /t REG_SZ /d "$(e2e_win_path "$documents")" /f >/dev/null
e2e_wine reg add "$UNINSTALL\\Harden.Plain" /v InstalledFiles /t REG_SZ /d 'thesis.docx|Work\plan.txt' /f >/dev/null
e2e_run "$plain/uninstall.exe" /uninstall /S
e2e_assert_exit 0
sleep 3  # the self-deletion's turn, which must not reach the user's files either
e2e_assert_file_bytes "Documents: the thesis stays" "$documents/thesis.docx" $'my thesis\n'
e2e_assert_file_bytes "Documents: the plan stays" "$documents/Work/plan.txt" $'my plan\n'
e2e_assert_file_bytes "Documents: the .old file stays" "$documents/report.old" $'my report\n'
e2e_assert_reg_absent "$UNINSTALL\\Harden.Plain"


# Folders of an app replaced by links (host symlinks, which Wine shows as reparse points) to a
# folder of the user's holding the listed names and an .old file: neither the update that drops
# those files nor the removal deletes anything through them.
linked="$E2E_WORK/linked"
mkdir -p "$linked/data" "$linked/old"
cp "$E2E_SAMPLE_EXE" "$linked/PlinthSample.exe"
printf 'words 1\n' >"$linked/data/words.txt"
printf 'gone in 2\n' >"$linked/old/gone.txt"
linked_app='{"name": "Linked Notes", "id": "Harden.Linked", "version": "VERSION", "exe": "PlinthSample.exe"}'
pack linked1 "${linked_app/VERSION/1.0}" "$linked" || e2e_die "Packing failed: $(cat "$E2E_WORK/out/linked1.pack.log")"
rm -r "$linked/data" "$linked/old"
printf 'new in 2\n' >"$linked/new.txt"
pack linked2 "${linked_app/VERSION/2.0}" "$linked" || e2e_die "Packing failed: $(cat "$E2E_WORK/out/linked2.pack.log")"
e2e_run "$E2E_WORK/linked1-Setup.exe" /S
e2e_assert_exit 0
installed="$E2E_PROGRAMS_DIR/Linked Notes"
e2e_assert_file "$installed/old/gone.txt"
kept="$documents/Kept"
mkdir -p "$kept"
printf 'my words\n' >"$kept/words.txt"
printf 'my gone\n' >"$kept/gone.txt"
printf 'my report\n' >"$kept/report.old"
rm -r "$installed/data" "$installed/old"
ln -s "$kept" "$installed/data"
ln -s "$kept" "$installed/old"
e2e_run "$E2E_WORK/linked2-Setup.exe" /S
e2e_assert_exit 0
e2e_assert_file_bytes "update: the new file is there" "$installed/new.txt" $'new in 2\n'
e2e_run "$installed/uninstall.exe" /uninstall /S
e2e_assert_exit 0
sleep 3
e2e_assert_absent "$installed/new.txt"
e2e_assert_file_bytes "links: the user's words stay" "$kept/words.txt" $'my words\n'
e2e_assert_file_bytes "links: the user's file of a dropped name stays" "$kept/gone.txt" $'my gone\n'
e2e_assert_file_bytes "links: the .old file where a link leads stays" "$kept/report.old" $'my report\n'
e2e_assert_reg_absent "$UNINSTALL\\Harden.Linked"
