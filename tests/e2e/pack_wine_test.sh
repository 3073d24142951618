#!/bin/bash
# Packed installers under Wine: the runtime finds the package the packer wrote, a crafted bad
# manifest is refused with the runtime's message, so is a payload that inflates past the largest
# app, and the Windows packer writes the same installer as the Linux one.
# e2e-timeout: 240
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix
work=$E2E_WORK/out

# The sample app's installer passes the package load: a silent run does not stop at the package.
setup=$work/Sample-Setup.exe
"$E2E_PACK" build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" \
  --compressor zlib --out "$setup" >/dev/null || e2e_die "The packer failed on the sample app."
e2e_run "$setup" /S
e2e_check "the runtime finds the package (no 'nothing in it to install')" \
  bash -c "! grep -qF 'It has nothing in it to install.' '$E2E_STDERR_FILE'"
e2e_check "the runtime reads the manifest (no 'contents can't be read')" \
  bash -c "! grep -qF \"Its contents can't be read.\" '$E2E_STDERR_FILE'"
e2e_check "the runtime inflates the app (no 'app inside the installer is damaged')" \
  bash -c "! grep -qF 'The app inside the installer is damaged.' '$E2E_STDERR_FILE'"

# A crafted bad manifest, through raw mode.
printf 'PLNSETUP\002\000\000\000[]' >"$work/bad.bin"
"$E2E_PACK" raw --package "$work/bad.bin" --stub "$E2E_SETUP_EXE" --out "$work/bad.exe" >/dev/null ||
  e2e_die "raw mode failed."
e2e_run "$work/bad.exe" /S
e2e_assert_exit 1
e2e_assert_file_bytes "stderr is the runtime's package line" "$E2E_STDERR_FILE" \
  $'setup: Its contents can\'t be read.\n'

# The resource's size as Windows reports it bounds the package: a manifest that ends exactly at
# the end of the resource loads (and its empty payload then fails the install), a length one byte
# longer doesn't, and neither does an empty resource.
manifest='{"name":"Edge","id":"org.example.edge","exe":"Edge.exe"}'
edge_package() {  # LENGTH FILE: the header with LENGTH, then the manifest
  { e2e_package_header "$1"; printf '%s' "$manifest"; } >"$2"
}
edge_package "${#manifest}" "$work/fits.bin"
edge_package "$((${#manifest} + 1))" "$work/one-more.bin"
: >"$work/empty.bin"
for edge in "fits:The app inside the installer is damaged." "one-more:Its contents can't be read." \
    "empty:Its contents can't be read."; do
  name=${edge%%:*}
  "$E2E_PACK" raw --package "$work/$name.bin" --stub "$E2E_SETUP_EXE" --out "$work/$name.exe" >/dev/null ||
    e2e_die "raw mode failed on $name.bin."
  e2e_run "$work/$name.exe" /S
  e2e_assert_file_bytes "$name ($(stat -c %s "$work/$name.bin") bytes): stderr is the package line" \
    "$E2E_STDERR_FILE" "setup: ${edge#*:}"$'\n'
  e2e_assert_exit 1
done

# A payload that inflates past the largest app an installer carries (2^31 - 1 bytes) is refused
# with the damaged-app text, and no app is written. The stream is made here: one zero byte, then
# fixed-code deflate blocks of matches that repeat it (258 bytes for every 13 bits), each block
# ended by an empty stored one so that it is byte-aligned and can be repeated as it stands. Its
# 13.5 MB hold 2^31 + 1985 zero bytes and a valid Adler-32: only the size is wrong.
over_cap_stream() {
  perl -e '
    use strict; use warnings;
    my $bits = "";  # deflate fills each byte from its lowest bit; Huffman codes go highest bit first
    sub put { my ($v, $n) = @_; $bits .= join "", map { ($v >> $_) & 1 } 0 .. $n - 1 }
    sub code { my ($v, $n) = @_; $bits .= join "", map { ($v >> ($n - 1 - $_)) & 1 } 0 .. $n - 1 }
    sub stored_empty { put($_[0], 1); put(0, 2); $bits .= "0" x (-length($bits) % 8); put(0, 16); put(0xFFFF, 16) }
    sub take { my $bytes = pack("b*", $bits); $bits = ""; $bytes }
    my ($matches, $blocks) = (8192, 1017);
    put(0, 1); put(1, 2); code(0x30, 8); code(0, 7); stored_empty(0);   # the literal 0
    my $head = take();
    put(0, 1); put(1, 2);
    for (1 .. $matches) { code(0xC5, 8); code(0, 5) }                  # length 258, distance 1
    code(0, 7); stored_empty(0);
    my $block = take();
    stored_empty(1);
    my $size = 1 + $blocks * $matches * 258;
    binmode STDOUT;
    print "\x78\x01", $head, $block x $blocks, take(), pack("N", (($size % 65521) << 16) | 1);'
}
{ e2e_package_header "${#manifest}"; printf '%s' "$manifest"; over_cap_stream; } >"$work/over-cap.bin" ||
  e2e_die "Can't write the over-cap package."
"$E2E_PACK" raw --package "$work/over-cap.bin" --stub "$E2E_SETUP_EXE" --out "$work/over-cap.exe" >/dev/null ||
  e2e_die "raw mode failed on over-cap.bin."
started=$SECONDS
E2E_TIMEOUT=120 e2e_run "$work/over-cap.exe" /S
e2e_log "the over-cap install ended after $((SECONDS - started)) s"
e2e_assert_exit 1
e2e_assert_file_bytes "a payload inflating past 2^31 - 1 bytes is refused" "$E2E_STDERR_FILE" \
  $'setup: The app inside the installer is damaged.\n'
e2e_assert_absent "$E2E_PROGRAMS_DIR/Edge/Edge.exe"

# plinth-pack.exe under Wine writes the same bytes as the Linux packer (zlib is in both).
# Both take the shipped page texts: the Windows packer from languages/ beside it, as in a release.
e2e_find_built plinth-pack.exe
mkdir -p "$work/packer"
cp "$E2E_FOUND" "$work/packer/plinth-pack.exe"
cp -r "$PLINTH_SOURCE_DIR/share/plinth/languages" "$work/packer/languages"
win_pack=$work/packer/plinth-pack.exe
cp "$E2E_SAMPLE_MANIFEST" "$work/app.json"
cp "$E2E_SAMPLE_EXE" "$work/PlinthSample.exe"
cp "$E2E_SETUP_EXE" "$work/stub.exe"
pushd "$work" >/dev/null || e2e_die "Can't enter $work."
e2e_run "$win_pack" build --manifest app.json --app PlinthSample.exe --stub stub.exe \
  --compressor zlib --out "Sample Setup é.exe"
popd >/dev/null
e2e_assert_exit 0
e2e_assert_same_file "the Windows packer's installer equals the Linux packer's" "$setup" \
  "$work/Sample Setup é.exe"
# The streams it kept beside the output and the installer it wrote there are gone or renamed.
e2e_check "the Windows packer leaves no temporary file beside its output" \
  bash -c '! compgen -G "$1/*.streams" && ! compgen -G "$1/*.partial"' _ "$work"

# The Windows packer knows a file by its identity too: the app through another spelling of its
# path is refused as --out, and the app is left as it was.
pushd "$work" >/dev/null || e2e_die "Can't enter $work."
e2e_run "$win_pack" build --manifest=app.json --app=PlinthSample.exe --stub=stub.exe --out=.\\plinthsample.EXE
popd >/dev/null
e2e_assert_exit 1
e2e_check "the Windows packer says --out is the app" grep -qF -- "--out is the same file as --app" "$E2E_STDERR_FILE"
e2e_assert_same_file "the app is left as it was" "$E2E_SAMPLE_EXE" "$work/PlinthSample.exe"
