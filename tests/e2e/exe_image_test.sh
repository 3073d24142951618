#!/bin/bash
# The built executables read back by independent tools (mingw's objdump and windres): 64-bit
# x86-64 PE32+ GUI programs that need only DLLs every Windows 10 has, and the stub's resources.
# e2e-no-prefix
source "$(dirname "$0")/lib.sh"
e2e_require setup sample

OBJDUMP=x86_64-w64-mingw32-objdump
WINDRES=x86_64-w64-mingw32-windres
command -v "$OBJDUMP" >/dev/null || e2e_die "$OBJDUMP is missing: run scripts/setup-machine."
command -v "$WINDRES" >/dev/null || e2e_die "$WINDRES is missing: run scripts/setup-machine."

# DLLs found in System32 of a clean Windows 10 (lower case). A DLL outside this list would have
# to ship beside the program.
SYSTEM_DLLS=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll
  ole32.dll oleaut32.dll shcore.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll uxtheme.dll
  version.dll "

check_image() {
  local label=$1 exe=$2 headers dll
  headers=$("$OBJDUMP" -f -p "$exe" 2>&1) || { e2e_fail "$label: objdump reads it" "$headers"; return; }
  e2e_check "$label: file format pei-x86-64" grep -q 'file format pei-x86-64' <<<"$headers"
  e2e_check "$label: machine i386:x86-64" grep -q '^architecture: i386:x86-64,' <<<"$headers"
  e2e_check "$label: optional header PE32+" grep -qP '^Magic\t+020b\t\(PE32\+\)' <<<"$headers"
  e2e_check "$label: subsystem Windows GUI" grep -qP '^Subsystem\t+00000002\t\(Windows GUI\)' <<<"$headers"
  local foreign=()
  while read -r dll; do
    dll=${dll,,}
    [[ "$SYSTEM_DLLS" == *" $dll "* || "$dll" == api-ms-win-* ]] || foreign+=("$dll")
  done < <(sed -n 's/^\tDLL Name: //p' <<<"$headers")
  if [[ ${#foreign[@]} -eq 0 ]]; then
    e2e_pass "$label: imports only system DLLs"
  else
    e2e_fail "$label: imports only system DLLs" "also needs: ${foreign[*]}"
  fi
}

# windres lists each resource as "NAME TYPE" lines ("1 24 /* RT_MANIFEST */").
resources_of() { "$WINDRES" -J coff -O rc -i "$1" 2>&1; }

check_image plinth-setup.exe "$E2E_SETUP_EXE"

# The stub's own imports are the DLLs every run needs anyway; user32 and what brings it in
# (shell32, ole32, oleaut32, comctl32) cost start-up time and are loaded when a step needs them.
stub_imports=$("$OBJDUMP" -p "$E2E_SETUP_EXE" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
e2e_check "stub: imports only advapi32, kernel32 and msvcrt (found: $stub_imports)" \
  test "$stub_imports" = "advapi32.dll kernel32.dll msvcrt.dll "
check_image PlinthSample.exe "$E2E_SAMPLE_EXE"

stub_rc=$(resources_of "$E2E_SETUP_EXE")
e2e_check "stub: manifest resource (type 24, id 1)" grep -q '^1 24 ' <<<"$stub_rc"
e2e_check "stub: icon group 1" grep -q '^1 14 ' <<<"$stub_rc"
e2e_check "stub: a version record" grep -q '^1 VERSIONINFO' <<<"$stub_rc"
e2e_check "stub: no package (no RCDATA 1)" bash -c '! grep -qE "^1 (10|RCDATA)\b" <<<"$1"' _ "$stub_rc"

manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$stub_rc" | sed -n 's/^  "\(.*\)"$/\1/p' | sed 's/\\n$//; s/""/"/g')
for needed in \
  'name="Microsoft.Windows.Common-Controls"' 'version="6.0.0.0"' \
  'publicKeyToken="6595b64144ccf1df"' 'level="asInvoker"' 'uiAccess="false"' \
  'Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' '>true/pm<' '>PerMonitorV2<'; do
  e2e_check "stub manifest has $needed" grep -qF -- "$needed" <<<"$manifest"
done

# The stub is built without unwind data, and linked so that unused functions go, the unwind data
# of library members included (cmake/unwind-gc-link.sh). Any entry its function table still has
# must describe code that is there: an entry left behind for a removed function points at
# address 0.
unwind_table_problems() {
  local text_start text_size text_end line begin finish entries=0 bad=0
  read -r text_size text_start < <("$OBJDUMP" -h "$1" | awk '$2 == ".text" { print $3, $4 }')
  text_start=$((16#$text_start)); text_end=$((text_start + 16#$text_size))
  while read -r line; do
    entries=$((entries + 1))
    read -r _ begin finish _ <<<"$line"
    begin=$((16#$begin)); finish=$((16#$finish))
    if ((begin < text_start || finish > text_end || begin >= finish)); then
      bad=$((bad + 1))
      ((bad > 3)) || echo "entry: $line"
    fi
  done < <("$OBJDUMP" -p "$1" | sed -n '/^The Function Table/,/^$/p' | grep -P '^ [0-9a-f]+:\t')
  ((entries < 50)) || echo "$entries function table entries: built with unwind data?"
  ((bad == 0)) || echo "$bad entries outside .text or empty"
}
problems=$(unwind_table_problems "$E2E_SETUP_EXE")
if [[ -z "$problems" ]]; then
  e2e_pass "stub: every function table entry covers code in .text"
else
  e2e_fail "stub: every function table entry covers code in .text" "$problems"
fi

sample_rc=$(resources_of "$E2E_SAMPLE_EXE")
e2e_check "sample: icon group 1" grep -q '^1 14 ' <<<"$sample_rc"
