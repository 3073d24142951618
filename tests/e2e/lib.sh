# Shared helpers for the end-to-end tests: the real Windows executables under Wine.
#
# A test is a file tests/e2e/NAME_test.sh (registered by CMakeLists.txt as e2e.NAME). It sources
# this file, calls e2e_prefix, runs programs with e2e_run and checks what they did with the
# e2e_assert_* helpers. Every check prints a clear line; a failed check does not stop the script
# (so one run reports every difference), but the test fails at exit. e2e_die stops at once, for
# a state in which further checks make no sense.
#
#   source "$(dirname "$0")/lib.sh"
#   e2e_require setup packer sample              # E2E_SETUP_EXE, E2E_PACK, E2E_SAMPLE_EXE ...
#   e2e_prefix                                   # own copy of the base prefix, own wineserver
#   e2e_run "$E2E_SETUP_EXE" /S                  # E2E_RC, E2E_STDOUT_FILE, E2E_STDERR_FILE
#   e2e_assert_exit 1
#   e2e_assert_file_bytes "stderr" "$E2E_STDERR_FILE" $'setup: ...\n'
#   e2e_assert_reg 'HKCU\Software\...' DisplayName REG_SZ 'Plinth Sample'
#   e2e_reg_value 'HKCU\Software\...' InstallLocation && dir=$(e2e_unix_path "$E2E_REG_DATA")
#
# Folders of the prefix's user: E2E_USER_DIR, E2E_LOCALAPPDATA, E2E_PROGRAMS_DIR (where installs
# land under Wine), E2E_START_MENU_PROGRAMS, E2E_DESKTOP. Windows: e2e_xvfb (a private X server),
# e2e_start / e2e_wait_exit (a program in the background), e2e_find_window, e2e_screenshot
# (kept in E2E_ARTIFACTS, build/host/e2e/artifacts/NAME).
#
# Environment, set by tests/e2e/CMakeLists.txt (or by the caller, as scripts/demo does):
#   PLINTH_E2E_ROOT          folder of the base prefix, the per-test work folders and artifacts
#   PLINTH_WINDOWS_BUILD_DIR the windows preset's build folder (plinth-setup.exe, the sample app)
#   PLINTH_SOURCE_DIR        the source tree
#   PLINTH_PACK              the host packer, or empty when it isn't built
#   PLINTH_E2E_TEST          the test's name (names its work folder)
#   PLINTH_E2E_KEEP=1        keep the per-test prefix after the run, for a look by hand

set -uo pipefail

E2E_WINE=${E2E_WINE:-/usr/lib/wine/wine64}
E2E_WINESERVER=${E2E_WINESERVER:-/usr/lib/wine/wineserver}
E2E_FAILURES=0
E2E_CHECKS=0
E2E_WORK=""
E2E_XVFB_PID=""
E2E_SERVER_STARTED=0

# Wine quiet and headless: no menu integration, no Mono/Gecko prompts, UTF-8 arguments.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset WINEARCH WINESERVER WINELOADER

_e2e_red() { if [[ -t 1 ]]; then printf '\033[31m%s\033[0m' "$*"; else printf '%s' "$*"; fi; }

# ---------------------------------------------------------------------------------------------
# Reporting

e2e_log() { printf '%s\n' "$*"; }

e2e_pass() {
  E2E_CHECKS=$((E2E_CHECKS + 1))
  printf 'ok    %s\n' "$1"
}

# e2e_fail DESCRIPTION [DETAIL...]: records a failed check and goes on.
e2e_fail() {
  E2E_CHECKS=$((E2E_CHECKS + 1))
  E2E_FAILURES=$((E2E_FAILURES + 1))
  printf '%s %s\n' "$(_e2e_red FAIL)" "$1"
  shift
  local line
  for line in "$@"; do printf '      %s\n' "$line"; done
}

# e2e_die MESSAGE: a state in which the test can't go on.
e2e_die() {
  E2E_CHECKS=$((E2E_CHECKS + 1))
  E2E_FAILURES=$((E2E_FAILURES + 1))
  printf '%s %s\n' "$(_e2e_red FATAL)" "$*" >&2
  exit 1
}

# Shows a file's bytes unambiguously (control characters escaped), at most 512 bytes.
_e2e_show_bytes() {
  if [[ ! -e "$1" ]]; then printf '(no file %s)\n' "$1"; return; fi
  local size; size=$(stat -c %s "$1")
  printf '%s bytes: ' "$size"
  head -c 512 "$1" | od -An -c -w512 | sed 's/^ *//; s/   */ /g'
  [[ $size -gt 512 ]] && printf '      ...\n'
  return 0
}

# ---------------------------------------------------------------------------------------------
# Finding what was built

_e2e_require_wine() {
  [[ -x "$E2E_WINE" ]] ||
    e2e_die "Wine is missing ($E2E_WINE): run scripts/setup-machine as root."
  [[ -x "$E2E_WINESERVER" ]] || e2e_die "wineserver is missing ($E2E_WINESERVER)."
}

# e2e_find_built NAME: sets E2E_FOUND to the path of a file the windows preset built.
e2e_find_built() {
  local dir=${PLINTH_WINDOWS_BUILD_DIR:-}
  [[ -n "$dir" && -d "$dir" ]] ||
    e2e_die "No Windows build at '${dir}': run cmake --preset windows && cmake --build --preset windows."
  E2E_FOUND=$(find "$dir" -path '*/CMakeFiles' -prune -o -name "$1" -type f -print 2>/dev/null |
    awk '{ print length($0) "\t" $0 }' | sort -n | head -n 1 | cut -f2-)
  [[ -n "$E2E_FOUND" ]] ||
    e2e_die "$1 was not found under $dir: build the windows preset (cmake --build --preset windows)."
}

# e2e_require WHAT...: dies unless each piece is there, and names it in a variable:
#   setup   E2E_SETUP_EXE   the bare runtime stub, plinth-setup.exe
#   sample  E2E_SAMPLE_EXE  the sample app, and E2E_SAMPLE_MANIFEST its app.json
#   packer  E2E_PACK        the host packer
# (A function, not a $(...) helper: a failure must end the test, not an inner subshell.)
e2e_require() {
  local what
  for what in "$@"; do
    case $what in
      setup) e2e_find_built plinth-setup.exe; E2E_SETUP_EXE=$E2E_FOUND ;;
      sample)
        e2e_find_built PlinthSample.exe; E2E_SAMPLE_EXE=$E2E_FOUND
        E2E_SAMPLE_MANIFEST="${PLINTH_SOURCE_DIR:?}/examples/sample-app/app.json"
        [[ -f "$E2E_SAMPLE_MANIFEST" ]] || e2e_die "Missing $E2E_SAMPLE_MANIFEST." ;;
      packer)
        [[ -n "${PLINTH_PACK:-}" && -x "${PLINTH_PACK}" ]] ||
          e2e_die "The packer isn't built (PLINTH_PACK='${PLINTH_PACK:-}'): build the host preset."
        E2E_PACK=$PLINTH_PACK ;;
      wine) _e2e_require_wine ;;
      *) e2e_die "e2e_require: unknown piece '$what'." ;;
    esac
  done
}

# ---------------------------------------------------------------------------------------------
# Prefixes

# e2e_make_prefix DIR: a fresh Wine prefix in DIR, ready for tests. Built beside DIR and moved
# into place, so a half-made prefix is never taken for a finished one.
e2e_make_prefix() {
  _e2e_require_wine
  local dest=$1 tmp="$1.new.$$"
  rm -rf "$tmp"
  mkdir -p "$tmp/home" || e2e_die "Can't create $tmp."
  (
    export WINEPREFIX="$tmp/prefix" HOME="$tmp/home"
    unset DISPLAY
    "$E2E_WINE" wineboot -i >/dev/null 2>&1
    # Wine draws the frame and closes windows at once without a window manager (Managed=N);
    # a crashing program must not wait on a crash dialog.
    "$E2E_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    "$E2E_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$E2E_WINESERVER" -w
  ) || e2e_die "wineboot failed in $tmp/prefix."
  [[ -f "$tmp/prefix/user.reg" ]] || e2e_die "wineboot made no prefix in $tmp/prefix."
  grep -q '"Managed"="N"' "$tmp/prefix/user.reg" || e2e_die "The X11 driver setting was not saved."

  # wineboot links Desktop, Documents and the like to $HOME: make them real folders, or a
  # desktop shortcut would land in a home folder outside the prefix.
  local link
  for link in "$tmp"/prefix/drive_c/users/*/*; do
    if [[ -L "$link" ]]; then
      rm "$link" && mkdir "$link" || e2e_die "Can't replace the link $link."
    fi
  done
  rm -rf "$tmp/home"
  rm -rf "$dest"
  mv "$tmp/prefix" "$dest" || e2e_die "Can't move the prefix to $dest."
  rmdir "$tmp" 2>/dev/null
  return 0
}

# Points the E2E_* folder variables at the current WINEPREFIX.
_e2e_prefix_paths() {
  local user_dir
  user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
  [[ -n "$user_dir" ]] || e2e_die "No user folder in $WINEPREFIX/drive_c/users."
  E2E_WIN_USER=$(basename "$user_dir")
  E2E_USER_DIR=$user_dir
  E2E_LOCALAPPDATA="$user_dir/AppData/Local"
  E2E_PROGRAMS_DIR="$E2E_LOCALAPPDATA/Programs"
  E2E_START_MENU_PROGRAMS="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
  E2E_DESKTOP="$user_dir/Desktop"
}

_e2e_cleanup() {
  local status=$?
  if [[ -n "${WINEPREFIX:-}" && $E2E_SERVER_STARTED -eq 1 ]]; then
    "$E2E_WINESERVER" -k >/dev/null 2>&1
    "$E2E_WINESERVER" -w >/dev/null 2>&1
  fi
  if [[ -n "$E2E_XVFB_PID" ]]; then
    kill "$E2E_XVFB_PID" 2>/dev/null
    wait "$E2E_XVFB_PID" 2>/dev/null
  fi
  if [[ -n "$E2E_WORK" && -d "$E2E_WORK" ]]; then
    if [[ "${PLINTH_E2E_KEEP:-0}" == 1 ]]; then
      e2e_log "kept: $E2E_WORK"
    else
      rm -rf "$E2E_WORK"
    fi
  fi
  if [[ $E2E_FAILURES -gt 0 ]]; then
    e2e_log "${PLINTH_E2E_TEST:-e2e}: $E2E_FAILURES of $E2E_CHECKS checks failed"
    exit 1
  fi
  if [[ $status -ne 0 ]]; then
    e2e_log "${PLINTH_E2E_TEST:-e2e}: the script stopped with status $status"
    exit "$status"
  fi
  [[ $E2E_CHECKS -gt 0 ]] && e2e_log "${PLINTH_E2E_TEST:-e2e}: all $E2E_CHECKS checks passed"
  return 0
}

# e2e_prefix: this test's own copy of the base prefix, with a persistent wineserver that is
# stopped (and the copy removed) when the script exits.
e2e_prefix() {
  _e2e_require_wine
  local root=${PLINTH_E2E_ROOT:?PLINTH_E2E_ROOT is not set}
  local base="$root/prefix-base"
  [[ -f "$base/user.reg" ]] ||
    e2e_die "No base prefix at $base: the e2e.prefix fixture makes it (ctest runs it first)."
  local name=${PLINTH_E2E_TEST:-$(basename "$0" .sh)}
  E2E_WORK="$root/work/$name"
  E2E_ARTIFACTS="$root/artifacts/$name"
  rm -rf "$E2E_WORK" "$E2E_ARTIFACTS"
  mkdir -p "$E2E_WORK/home" "$E2E_WORK/out" "$E2E_ARTIFACTS" || e2e_die "Can't create $E2E_WORK."
  cp -a "$base" "$E2E_WORK/prefix" || e2e_die "Can't copy the base prefix."
  export WINEPREFIX="$E2E_WORK/prefix" HOME="$E2E_WORK/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
  unset DISPLAY
  "$E2E_WINESERVER" -p || e2e_die "Can't start wineserver for $WINEPREFIX."
  E2E_SERVER_STARTED=1
  _e2e_prefix_paths
  E2E_RUN_COUNT=0
}

# e2e_xvfb: a private X server for this test (stopped at exit); sets DISPLAY. Call it right
# after e2e_prefix, before any Wine program runs: the first GUI process starts Wine's desktop
# process with its own DISPLAY, and a window made while that desktop lives (without a display)
# never reaches the X server.
e2e_xvfb() {
  command -v Xvfb >/dev/null || e2e_die "Xvfb is missing: run scripts/setup-machine as root."
  local fifo="$E2E_WORK/xvfb.display"
  : >"$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [[ -s "$fifo" ]] && break
    sleep 0.05
  done
  [[ -s "$fifo" ]] || e2e_die "Xvfb did not start."
  export DISPLAY=":$(head -n 1 "$fifo")"
}

# e2e_screenshot NAME: the X screen as $E2E_ARTIFACTS/NAME.png (kept after the test).
e2e_screenshot() {
  import -display "$DISPLAY" -window root "$E2E_ARTIFACTS/$1.png" >/dev/null 2>&1 ||
    e2e_log "(no screenshot $1)"
}

# ---------------------------------------------------------------------------------------------
# Running programs

# e2e_run EXE [ARGS...]: runs EXE under Wine in the test's prefix, standard input empty. Sets
# E2E_RC (Wine passes the low byte of the exit code), E2E_STDOUT_FILE, E2E_STDERR_FILE.
# E2E_TIMEOUT (seconds, default 60) bounds the run; a timeout gives E2E_RC 124.
e2e_run() {
  E2E_RUN_COUNT=$((${E2E_RUN_COUNT:-0} + 1))
  E2E_STDOUT_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.stdout"
  E2E_STDERR_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.stderr"
  timeout --kill-after=5 "${E2E_TIMEOUT:-60}" "$E2E_WINE" "$@" \
    </dev/null >"$E2E_STDOUT_FILE" 2>"$E2E_STDERR_FILE"
  E2E_RC=$?
  return 0
}

# e2e_start EXE [ARGS...]: like e2e_run, but in the background (for a program with a window).
# e2e_wait_exit SECONDS then collects it into E2E_RC (124 when it is still running).
e2e_start() {
  E2E_RUN_COUNT=$((${E2E_RUN_COUNT:-0} + 1))
  E2E_STDOUT_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.stdout"
  E2E_STDERR_FILE="$E2E_WORK/out/run$E2E_RUN_COUNT.stderr"
  "$E2E_WINE" "$@" </dev/null >"$E2E_STDOUT_FILE" 2>"$E2E_STDERR_FILE" &
  E2E_BG_PID=$!
}

e2e_wait_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$E2E_BG_PID" 2>/dev/null; do
    if [[ $SECONDS -ge $deadline ]]; then
      E2E_RC=124
      return 0
    fi
    sleep 0.1
  done
  wait "$E2E_BG_PID"
  E2E_RC=$?
  return 0
}

# e2e_find_window NAME [SECONDS]: sets E2E_WINDOW to the X window titled exactly NAME, waiting
# for it up to SECONDS (default 20); returns 1 when none appears.
e2e_find_window() {
  local deadline=$((SECONDS + ${2:-20}))
  E2E_WINDOW=""
  while [[ -z "$E2E_WINDOW" ]]; do
    E2E_WINDOW=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [[ -n "$E2E_WINDOW" ]] && return 0
    [[ $SECONDS -ge $deadline ]] && return 1
    sleep 0.2
  done
}

# e2e_wine ARGS...: a Wine built-in (reg, cmd, winepath) whose output the caller reads.
e2e_wine() { "$E2E_WINE" "$@" 2>/dev/null </dev/null; }

# e2e_unix_path WINDOWS_PATH: the prefix's Unix path for a Windows path.
e2e_unix_path() {
  local p=$1
  if [[ "$p" =~ ^[Cc]:(\\.*)?$ ]]; then
    p=${p:2}
    printf '%s\n' "$WINEPREFIX/drive_c${p//\\//}"
  else
    e2e_wine winepath -u "$p" | tr -d '\r'
  fi
}

# e2e_win_path UNIX_PATH: the Windows path Wine gives a Unix path.
e2e_win_path() {
  local p=$1
  if [[ "$p" == "$WINEPREFIX/drive_c/"* ]]; then
    p=${p#"$WINEPREFIX/drive_c"}
    printf 'C:%s\n' "${p//\//\\}"
  else
    e2e_wine winepath -w "$p" | tr -d '\r'
  fi
}

# e2e_wait_until SECONDS COMMAND...: polls COMMAND until it succeeds; fails after SECONDS.
e2e_wait_until() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  while ! "$@"; do
    [[ $SECONDS -ge $deadline ]] && return 1
    sleep 0.2
  done
  return 0
}

# e2e_package_header LENGTH: the first 12 bytes of an installer package, for crafting one by
# hand (raw mode): the tag and the manifest's length, 32-bit little-endian.
e2e_package_header() {
  local length=$1 bits
  printf 'PLNSETUP'
  for bits in 0 8 16 24; do printf "\\$(printf %03o $(((length >> bits) & 255)))"; done
}

# ---------------------------------------------------------------------------------------------
# Registry, read back through the running wineserver (the prefix's .reg files are written late)

# e2e_reg_key_exists KEY
e2e_reg_key_exists() { "$E2E_WINE" reg query "$1" </dev/null >/dev/null 2>&1; }

# Reading values goes through "reg export": its UTF-16 file keeps every character, where reg
# query's output passes through the console code page and garbles anything outside ASCII.

# _e2e_reg_export KEY: the key's own section of reg export, as UTF-8 lines without CR, with
# continued hex lines joined. Returns 1 when the key is missing.
_e2e_reg_export() {
  local file attempt
  file=$(mktemp) || e2e_die "mktemp failed."
  # An export has been seen to fail once, under load, for a key that reg query showed a moment
  # earlier; a key that really is missing fails every attempt, so retrying hides nothing.
  for attempt in 1 2 3; do
    if "$E2E_WINE" reg export "$1" "$file" /y </dev/null >/dev/null 2>"$file.err" &&
      iconv -f UTF-16 -t UTF-8 "$file" 2>/dev/null | grep -q '^\['; then
      break
    fi
    if ! e2e_reg_key_exists "$1" || ((attempt == 3)); then
      rm -f "$file" "$file.err"
      return 1
    fi
    e2e_log "reg export of $1 failed (attempt $attempt): $(tr -d '\r' <"$file.err" | head -c 300)" >&2
  done
  iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' |
    awk 'NR > 1 && /^\[/ { sections++ } sections == 1 && !/^\[/ && NF'
  rm -f "$file" "$file.err"
}

# "25,00,54,00" (UTF-16LE bytes) to UTF-8 text, trailing zero units dropped; inner zero units
# become the two characters \0, as reg query shows a REG_MULTI_SZ.
_e2e_hex_utf16() {
  local hex=$1
  while [[ "$hex" == *",00,00" || "$hex" == "00,00" ]]; do
    if [[ "$hex" == "00,00" ]]; then hex=""; else hex=${hex%,00,00}; fi
  done
  [[ -z "$hex" ]] && return 0
  printf "\\x${hex//,/\\x}" | iconv -f UTF-16LE -t UTF-8 | tr '\0' '\001' | sed 's/\x01/\\0/g'
}

# "05,00,00,00" (little-endian) as 0x5.
_e2e_hex_number() {
  local -a bytes
  IFS=, read -r -a bytes <<<"$1"
  local i value=0
  for ((i = ${#bytes[@]} - 1; i >= 0; i--)); do value=$(((value << 8) | 16#${bytes[i]})); done
  printf '0x%x' "$value"
}

# Undoes the export's escapes in a quoted text: \\ \" \n \0.
_e2e_unescape() {
  local in=$1 out="" c i
  for ((i = 0; i < ${#in}; i++)); do
    c=${in:i:1}
    if [[ "$c" == '\' && $((i + 1)) -lt ${#in} ]]; then
      i=$((i + 1))
      c=${in:i:1}
      case $c in n) c=$'\n' ;; 0) c='\0' ;; esac
    fi
    out+=$c
  done
  printf '%s' "$out"
}

# e2e_reg_value KEY NAME: sets E2E_REG_TYPE and E2E_REG_DATA; returns 1 when the key or value is
# missing. An empty NAME is the default value; names match without case, as in the registry.
# Data as reg query would show it: texts as they are (REG_MULTI_SZ parts joined by \0), numbers
# as 0x.. in hex, REG_BINARY as upper-case hex digits. E2E_REG_HEX holds the raw bytes of
# values that the export wrote as hex ("01,02,ab"), and is empty for plain texts and DWORDs.
e2e_reg_value() {
  local key=$1 want=${2,,} line name data kind
  local quoted_re='^"((\\.|[^"\\])*)"=(.*)$'
  E2E_REG_TYPE="" E2E_REG_DATA="" E2E_REG_HEX=""
  local section
  section=$(_e2e_reg_export "$key") || return 1
  while IFS= read -r line; do
    if [[ "$line" == '@='* ]]; then
      name="" data=${line#@=}
    elif [[ "$line" =~ $quoted_re ]]; then
      name=$(_e2e_unescape "${BASH_REMATCH[1]}") data=${BASH_REMATCH[3]}
    else
      continue
    fi
    [[ "${name,,}" == "$want" ]] || continue
    case $data in
      \"*\")
        E2E_REG_TYPE=REG_SZ
        data=${data#\"}
        E2E_REG_DATA=$(_e2e_unescape "${data%\"}") ;;
      dword:*)
        E2E_REG_TYPE=REG_DWORD
        E2E_REG_DATA=$(printf '0x%x' "$((16#${data#dword:}))") ;;
      hex:* | hex\(*\):*)
        kind=${data%%:*}
        E2E_REG_HEX=${data#*:}
        case $kind in
          hex | 'hex(3)') E2E_REG_TYPE=REG_BINARY
            E2E_REG_DATA=${E2E_REG_HEX//,/}; E2E_REG_DATA=${E2E_REG_DATA^^} ;;
          'hex(0)') E2E_REG_TYPE=REG_NONE
            E2E_REG_DATA=${E2E_REG_HEX//,/}; E2E_REG_DATA=${E2E_REG_DATA^^} ;;
          'hex(1)') E2E_REG_TYPE=REG_SZ; E2E_REG_DATA=$(_e2e_hex_utf16 "$E2E_REG_HEX") ;;
          'hex(2)') E2E_REG_TYPE=REG_EXPAND_SZ; E2E_REG_DATA=$(_e2e_hex_utf16 "$E2E_REG_HEX") ;;
          'hex(7)') E2E_REG_TYPE=REG_MULTI_SZ; E2E_REG_DATA=$(_e2e_hex_utf16 "$E2E_REG_HEX") ;;
          'hex(4)') E2E_REG_TYPE=REG_DWORD; E2E_REG_DATA=$(_e2e_hex_number "$E2E_REG_HEX") ;;
          'hex(b)') E2E_REG_TYPE=REG_QWORD; E2E_REG_DATA=$(_e2e_hex_number "$E2E_REG_HEX") ;;
          *) E2E_REG_TYPE="REG_${kind}"; E2E_REG_DATA=${E2E_REG_HEX//,/} ;;
        esac ;;
      *) E2E_REG_TYPE=unknown E2E_REG_DATA=$data ;;
    esac
    return 0
  done <<<"$section"
  return 1
}

# e2e_reg_dump KEY: the key and its subkeys in .reg form, UTF-8 (for people).
e2e_reg_dump() {
  local file
  file=$(mktemp) || return 1
  if "$E2E_WINE" reg export "$1" "$file" /y </dev/null >/dev/null 2>&1; then
    iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | sed '1d; /^$/d'
  else
    printf '(no key %s)\n' "$1"
  fi
  rm -f "$file"
}

# ---------------------------------------------------------------------------------------------
# Checks

# e2e_assert_eq DESCRIPTION EXPECTED ACTUAL
e2e_assert_eq() {
  if [[ "$2" == "$3" ]]; then e2e_pass "$1"
  else e2e_fail "$1" "expected: '$2'" "actual:   '$3'"; fi
}

# e2e_check DESCRIPTION COMMAND...: passes when COMMAND succeeds.
e2e_check() {
  local desc=$1; shift
  if "$@" >/dev/null 2>&1; then e2e_pass "$desc"; else e2e_fail "$desc" "failed: $*"; fi
}

# e2e_assert_exit CODE: the last e2e_run's exit code.
e2e_assert_exit() {
  if [[ "$E2E_RC" == "$1" ]]; then
    e2e_pass "exit code $1"
  else
    local detail=("expected: $1" "actual:   $E2E_RC")
    [[ "$E2E_RC" == 124 ]] && detail+=("(timed out after ${E2E_TIMEOUT:-60} s)")
    detail+=("stderr: $(_e2e_show_bytes "${E2E_STDERR_FILE:-/dev/null}")")
    e2e_fail "exit code $1" "${detail[@]}"
  fi
}

# e2e_assert_file_bytes DESCRIPTION FILE EXPECTED: FILE holds exactly the bytes of EXPECTED.
e2e_assert_file_bytes() {
  local want
  want=$(mktemp) || e2e_die "mktemp failed."
  printf '%s' "$3" >"$want"
  if cmp -s "$want" "$2"; then
    e2e_pass "$1"
  else
    e2e_fail "$1" "expected $(_e2e_show_bytes "$want")" "actual   $(_e2e_show_bytes "$2")"
  fi
  rm -f "$want"
}

# e2e_assert_same_file DESCRIPTION EXPECTED_FILE ACTUAL_FILE
e2e_assert_same_file() {
  if [[ ! -f "$3" ]]; then e2e_fail "$1" "missing: $3"
  elif cmp -s "$2" "$3"; then e2e_pass "$1"
  else e2e_fail "$1" "$3 ($(stat -c %s "$3") bytes) differs from $2 ($(stat -c %s "$2") bytes)"; fi
}

e2e_assert_file() {
  if [[ -f "$1" ]]; then e2e_pass "file exists: ${1#"$WINEPREFIX/"}"
  else e2e_fail "file exists: ${1#"$WINEPREFIX/"}" "missing: $1"; fi
}

e2e_assert_dir() {
  if [[ -d "$1" ]]; then e2e_pass "folder exists: ${1#"$WINEPREFIX/"}"
  else e2e_fail "folder exists: ${1#"$WINEPREFIX/"}" "missing: $1"; fi
}

e2e_assert_absent() {
  if [[ ! -e "$1" && ! -L "$1" ]]; then e2e_pass "absent: ${1#"$WINEPREFIX/"}"
  else e2e_fail "absent: ${1#"$WINEPREFIX/"}" "present: $1"; fi
}

# e2e_assert_reg KEY NAME TYPE DATA: the value exists with that type and data.
e2e_assert_reg() {
  local desc="$1 [${2:-(Default)}] = $3 '$4'"
  if ! e2e_reg_value "$1" "$2"; then
    e2e_fail "$desc" "the value is missing"
  elif [[ "$E2E_REG_TYPE" != "$3" || "$E2E_REG_DATA" != "$4" ]]; then
    e2e_fail "$desc" "actual: $E2E_REG_TYPE '$E2E_REG_DATA'"
  else
    e2e_pass "$desc"
  fi
}

e2e_assert_reg_absent() {
  if [[ $# -eq 1 ]]; then
    if e2e_reg_key_exists "$1"; then e2e_fail "no key $1" "the key exists"
    else e2e_pass "no key $1"; fi
  else
    if e2e_reg_value "$1" "$2"; then
      e2e_fail "no value $1 [${2:-(Default)}]" "present: $E2E_REG_TYPE '$E2E_REG_DATA'"
    else
      e2e_pass "no value $1 [${2:-(Default)}]"
    fi
  fi
}

trap _e2e_cleanup EXIT

# e2e_pack_sample OUT JQ_FILTER: the sample app's installer, its manifest changed by the jq filter
# (such as '.version = "2.0.0"').
e2e_pack_sample() {
  local out=$1 manifest="$E2E_WORK/app-$RANDOM.json"
  jq "$2" "$E2E_SAMPLE_MANIFEST" >"$manifest" || e2e_die "Can't write $manifest."
  "$E2E_PACK" build --manifest "$manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$out" \
    >"$manifest.log" 2>&1 || e2e_die "The packer failed: $(cat "$manifest.log")"
}
