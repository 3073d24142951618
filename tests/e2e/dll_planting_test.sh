#!/bin/bash
# An installer started from a downloads folder must load no DLL planted beside it. The loader
# resolves the static imports before any code of ours runs, so each one must be a KnownDLL
# (mapped from the system's own section, never searched for). Every name the program can hand to
# the loader at run time (the UTF-16 ".dll" texts in the image) must be a KnownDLL too, or
# comctl32, which the side-by-side manifest redirects to the Common Controls 6 assembly; and
# every load of ours searches the system folder only. Wine can't show planting of system DLL
# names faithfully (its built-in DLLs win over planted ones), so this reads the image and the
# objects it was linked from instead (the win32 probe shows the search itself under Wine).
# e2e-no-prefix
source "$(dirname "$0")/lib.sh"
e2e_require setup

OBJDUMP=x86_64-w64-mingw32-objdump
WINDRES=x86_64-w64-mingw32-windres
command -v "$OBJDUMP" >/dev/null || e2e_die "$OBJDUMP is missing: run scripts/setup-machine."
command -v strings >/dev/null || e2e_die "strings (binutils) is missing."

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 10 (lower case),
# plus ntdll.dll, which the kernel maps into every process before anything else. Not here on
# purpose: comctl32 (see above), version, uxtheme, dwmapi, cryptbase, userenv, winmm, propsys,
# ucrtbase (and so the api-ms-win-crt sets): all searched for on disk, the classic planting
# targets.
KNOWN_DLLS=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll
  gdiplus.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll
  ntdll.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll
  shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll "

headers=$("$OBJDUMP" -p "$E2E_SETUP_EXE" 2>&1) || e2e_die "objdump can't read $E2E_SETUP_EXE: $headers"

imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
[[ -n "$imports" ]] || e2e_fail "the import table lists DLLs" "$(head -40 <<<"$headers")"
e2e_log "imports: $(tr '\n' ' ' <<<"$imports")"
while read -r dll; do
  [[ -z "$dll" ]] && continue
  lower=${dll,,}
  if [[ "$KNOWN_DLLS" == *" $lower "* ]]; then
    e2e_pass "import $dll is a KnownDLL"
  else
    e2e_fail "import $dll is a KnownDLL" "a $dll planted beside the installer would be loaded first"
  fi
done <<<"$imports"

# Delay-loaded DLLs are resolved later through LoadLibrary with the default search: none allowed.
delay=$(awk '/Delay Import Directory/ { print $3 }' <<<"$headers" | head -n1)
e2e_check "no delay-loaded DLLs" test "$((16#${delay:-0}))" -eq 0

# The search order is narrowed to the system folder before anything else can load a library.
kernel32_names=$(awk '/DLL Name: KERNEL32.dll/ { on = 1; next } /DLL Name:/ { on = 0 } on { print $3 }' <<<"$headers")
e2e_check "SetDefaultDllDirectories is imported" grep -qx SetDefaultDllDirectories <<<"$kernel32_names"
win_main="${PLINTH_SOURCE_DIR:?}/runtime/platform/win32/win_main.cpp"
first_call=$(sed -n '/wWinMainCRTStartup(/,/^}/p' "$win_main" | sed 1d | grep -v '^\s*//' | grep -m1 -oE '[A-Za-z_:]+\(')
e2e_check "the entry calls SetDefaultDllDirectories first (found: $first_call)" test "$first_call" = "SetDefaultDllDirectories("
e2e_check "with the system folder only" grep -q 'SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)' "$win_main"

# Names the program may hand to the loader itself (LoadLibrary, GetModuleHandle): UTF-16 texts.
# A narrow string just before one can lend it a character: its last letter and NUL read as one
# UTF-16 unit. Such a run starts right after a printable byte, and that character is dropped,
# unless the whole run is already a name the stub may load (the byte before it may be the last of
# a GUID's, say).
utf16_dll_names() {
  local offset text before
  while read -r offset text; do
    before=$(od -An -tu1 -j $((offset - 1)) -N1 "$E2E_SETUP_EXE" | tr -d ' ')
    if (( offset > 0 && before >= 32 && before < 127 )) &&
      [[ "$KNOWN_DLLS $on_demand comctl32.dll " != *" ${text,,} "* ]]; then text=${text:1}; fi
    printf '%s\n' "$text"
  done < <(strings -el -t d "$E2E_SETUP_EXE" | grep -iE '\.dll$')
}
# The DLLs the layer's loader (system_library.cpp) loads by name on first use.
# (The names are its wide literals, several to a literal between NULs.)
on_demand=$(grep -oE 'L"[^"]*"' "$PLINTH_SOURCE_DIR/runtime/platform/win32/system_library.cpp" |
  sed 's/\\0/ /g' | grep -oE '[A-Za-z0-9_-]+\.dll' | tr 'A-Z' 'a-z' | tr '\n' ' ')
while read -r name; do
  [[ -z "$name" ]] && continue
  lower=${name,,}
  if [[ "$KNOWN_DLLS" == *" $lower "* ]]; then
    e2e_pass "run-time DLL name $name is a KnownDLL"
  elif [[ "$lower" == comctl32.dll ]]; then
    manifest=$("$WINDRES" -J coff -O rc -i "$E2E_SETUP_EXE" 2>&1 | sed -n '/^1 24 /,/^END/p')
    if grep -qF 'Microsoft.Windows.Common-Controls' <<<"$manifest" && grep -qF '6.0.0.0' <<<"$manifest"; then
      e2e_pass "run-time DLL name comctl32.dll is redirected by the Common Controls 6 manifest dependency"
    else
      e2e_fail "run-time DLL name comctl32.dll without the Common Controls 6 dependency in the manifest" \
        "a comctl32.dll beside the installer would be loaded"
    fi
  elif [[ " $on_demand " == *" $lower "* ]]; then
    # Loaded on first use by the layer's one loader, whose every call searches the system
    # folder only, for the DLL and its dependencies (checked below).
    e2e_pass "run-time DLL name $name is loaded on demand from the system folder"
  else
    e2e_fail "run-time DLL name $name is a KnownDLL" "load it with LoadLibraryExW and LOAD_LIBRARY_SEARCH_SYSTEM32"
  fi
done < <(utf16_dll_names | grep -ioE '^[A-Za-z0-9_.-]+\.dll$' | sort -u)

# Our own code loads libraries only from the system folder.
bad=$(grep -rnE 'LoadLibrary(A|W|ExA)?\(|LoadLibraryExW\(' "$PLINTH_SOURCE_DIR/runtime" |
  grep -v 'LOAD_LIBRARY_SEARCH_SYSTEM32' || true)
e2e_check "every LoadLibrary call in runtime/ searches the system folder only" test -z "$bad"
[[ -n "$bad" ]] && e2e_log "$bad"

# The same in the compiled objects of the Win32 layer and the entry (a macro or a wrapper could
# hide a call from the text search): LoadLibraryExW is the only loader function they reference.
# (The C runtime's own LoadLibraryW, if linked in, runs after SetDefaultDllDirectories.)
# The stub's objects hold link-time-optimised code, which only the compiler's nm can read; its
# symbols name the function itself rather than the import slot.
NM=x86_64-w64-mingw32-gcc-nm-win32
command -v "$NM" >/dev/null || NM=x86_64-w64-mingw32-nm
objects=$(find "${PLINTH_WINDOWS_BUILD_DIR:?}" \( -name libplinth_win32.a -o -path '*plinth-setup.dir*' -name 'win_main.cpp.obj' \) -type f)
[[ -n "$objects" ]] || e2e_die "no libplinth_win32.a or win_main.cpp.obj under $PLINTH_WINDOWS_BUILD_DIR"
# shellcheck disable=SC2086  # one word per object file
loaders=$("$NM" -u $objects 2>/dev/null | grep -oE '\b(__imp_)?(LoadLibrary[A-Za-z]*|LoadPackagedLibrary)\b' |
  sed 's/^__imp_//' | sort -u | tr '\n' ' ')
loaders=${loaders% }
e2e_check "the layer's only loader import is LoadLibraryExW (found: ${loaders:-none})" test "$loaders" = "LoadLibraryExW"
exit 0
