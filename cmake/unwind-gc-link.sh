#!/bin/bash
# Link launcher: runs a mingw-w64 link command so that --gc-sections really drops unused
# functions. GNU ld 2.40 keeps every .pdata/.xdata input section of an x64 PE link (its default
# script says KEEP(*(.pdata*)), and its garbage collector never removes either kind), and each
# kept .pdata entry keeps the function it describes: no function with unwind data is ever
# collected, so every member pulled from libstdc++.a stays whole.
#
# This launcher links up to a fixed point instead:
#   1. Link once with the functions' .pdata/.xdata discarded: the map then lists the functions
#      that code and data really reach.
#   2. Link again keeping the .pdata of exactly those functions (which reaches their .xdata,
#      personality routines and LSDAs, so perhaps more functions) and discarding the .pdata and
#      .xdata of the functions the collector removed.
#   3. Repeat 2 until the set of kept functions no longer grows. Then every kept function has its
#      unwind data and no unwind entry points at a removed function.
#
# Usage (as RULE_LAUNCH_LINK): unwind-gc-link.sh <compiler> <link arguments...>
# The command must carry -Wl,-T,<linker script> (mingw ld's default script, perhaps edited, with
# the lines "KEEP(*(.pdata*))" and "KEEP(*(.xdata*))") and -Wl,-Map,<map file>.
set -euo pipefail

template="" map="" start_files=1
for arg in "$@"; do
  case $arg in
    -Wl,-T,*) template=${arg#-Wl,-T,} ;;
    -Wl,-Map,*) map=${arg#-Wl,-Map,} ;;
    -nostartfiles) start_files=0 ;;
  esac
done
if [[ -z "$template" || -z "$map" ]]; then
  echo "unwind-gc-link.sh: the link command needs -Wl,-T,<script> and -Wl,-Map,<map>" >&2
  exit 2
fi
if ! grep -qF 'KEEP(*(.pdata*))' "$template" || ! grep -qF 'KEEP(*(.xdata*))' "$template" ||
   ! grep -qx 'SECTIONS' "$template"; then
  echo "unwind-gc-link.sh: $template is not the linker script it expects" >&2
  exit 2
fi

work=$map.unwind-gc
mkdir -p "$work"
script=$work/link.ld
command=()
for arg in "$@"; do
  case $arg in
    -Wl,-T,*) command+=("-Wl,-T,$script") ;;
    *) command+=("$arg") ;;
  esac
done
command+=(-Wl,--print-gc-sections)

# Writes the script: keeps the .pdata named in $work/keep, discards .pdata and .xdata named in
# $work/discard (section names without their ".pdata"/".xdata"/".text" prefix).
write_script() {
  awk -v keep="$work/keep" -v discard="$work/discard" '
    $0 == "SECTIONS" { print; getline; print
      print "  /DISCARD/ : {"
      while ((getline name < discard) > 0) print "    *(.pdata" name ") *(.xdata" name ")"
      print "  }"
      next }
    index($0, "KEEP(*(.pdata*))") { print "    KEEP(*(.pdata))"
      while ((getline name < keep) > 0) if (name != "") print "    KEEP(*(.pdata" name "))"
      print "    *(.pdata*)"
      next }
    index($0, "KEEP(*(.xdata*))") { print "    *(.xdata*)"; next }
    { print }' "$template" > "$script"
}

# The functions of the last link: kept (from the map) and removed (from ld's report).
read_link() {
  awk '/^Linker script and memory map/ { m = 1 }
       m && /^ \.text/ { n = $1; sub(/^\.text/, "", n); sub(/\[.*/, "", n); print n }' \
    "$map" | LC_ALL=C sort -u > "$work/kept.new"
  sed -n "s/.*removing unused section '\.text\([^'[]*\)[^']*' in file .*/\1/p" "$work/ld.err" |
    LC_ALL=C sort -u > "$work/removed"
}

# Pass 1: every function's unwind data discarded.
: > "$work/keep"
printf '%s\n' '$*' '.*' > "$work/discard"
: > "$work/kept"
for pass in 1 2 3 4 5 6 7 8; do
  write_script
  if ! "${command[@]}" 2> "$work/ld.err"; then
    grep -v 'removing unused section' "$work/ld.err" >&2 || true
    exit 1
  fi
  read_link
  # No archive member may come in for the code generated at the link: ld 2.40 loads it after the
  # link-time code generation, which can corrupt its heap. The link names such symbols up front.
  late=$(awk '/^Archive member included/ { m = 1; next } /^(Discarded input sections|Memory Configuration)/ { m = 0 }
              m && /\.ltrans[0-9]*\.ltrans\.o \(/ { sub(/.*\(/, ""); sub(/\)$/, ""); print }' "$map" | LC_ALL=C sort -u)
  if [[ -n "$late" ]]; then
    echo "unwind-gc-link.sh: only the link-time code calls these; name them up front (-Wl,-u,<name>):" $late >&2
    exit 1
  fi
  # Without mingw's start files nothing runs the C initializers, the TLS callbacks, the .dtors
  # table or sets up thread-local storage: a link that brings any in needs them back.
  if [[ $start_files == 0 ]]; then
    startup=$(awk '/^Linker script and memory map/ { m = 1 }
                   m && /^ \.(tls|CRT\$X[CIL]|dtors)/ && NF >= 4 && $3 != "0x0" { print $1 " (" $4 ")" }' "$map")
    if [[ -n "$startup" ]]; then
      echo "unwind-gc-link.sh: linked without start files, yet needs them for:" $startup >&2
      exit 1
    fi
  fi
  if [[ $pass -gt 1 ]] && cmp -s "$work/kept" "$work/kept.new"; then
    # The fixed point: no kept function lost its unwind data.
    if [[ -n "$(LC_ALL=C comm -12 "$work/discard" "$work/kept.new")" ]]; then
      echo "unwind-gc-link.sh: a kept function's unwind data was discarded" >&2
      exit 1
    fi
    grep -v 'removing unused section' "$work/ld.err" >&2 || true
    exit 0
  fi
  mv "$work/kept.new" "$work/kept"
  cp "$work/kept" "$work/keep"
  # (Never the plain ".text": the unwind data of code outside function sections stays.)
  LC_ALL=C comm -23 "$work/removed" "$work/kept" | { grep -v '^$' || true; } > "$work/discard"
done
echo "unwind-gc-link.sh: the set of kept functions did not settle in $pass links" >&2
exit 1
