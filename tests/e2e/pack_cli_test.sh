#!/bin/bash
# The packer's command line with the real stub and the sample app: exit codes, refusals that
# write nothing and keep an older installer, reproducible output, inspect and raw mode, and
# signing the real installer with osslsigncode.
# e2e-no-prefix
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer

E2E_WORK=$(mktemp -d) || e2e_die "mktemp failed."
work=$E2E_WORK

pack() {  # runs the packer, sets rc, out (stdout) and err (stderr)
  "$E2E_PACK" "$@" >"$work/stdout" 2>"$work/stderr"
  rc=$?
  out=$(cat "$work/stdout")
  err=$(cat "$work/stderr")
}

expect_refusal() {  # DESCRIPTION EXIT_CODE TEXT_IN_STDERR: after a pack that must write nothing
  e2e_assert_eq "$1: exit code" "$2" "$rc"
  e2e_check "$1: says why ($3)" grep -qF -- "$3" "$work/stderr"
}

setup=$work/Sample-Setup.exe
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$setup"
e2e_assert_eq "build: exit code" 0 "$rc"
e2e_check "build: the installer is written" test -s "$setup"
e2e_check "build: the app's own icon is used" grep -qF "the app's own first icon" "$work/stdout"

pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$work/again.exe"
e2e_assert_same_file "the same inputs give a byte-identical installer" "$setup" "$work/again.exe"

pack inspect "$setup"
e2e_assert_eq "inspect: exit code" 0 "$rc"
for line in 'name:       "Plinth Sample"' 'exe:        "PlinthSample.exe"' \
    'shortcut file:   "Plinth Sample.lnk"' \
    'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample' \
    'HKEY_CURRENT_USER\Software\Classes\PlinthSample.plnote' \
    "inflated:    $(stat -c %s "$E2E_SAMPLE_EXE") bytes"; do
  e2e_check "inspect shows: $line" grep -qF -- "$line" "$work/stdout"
done

# Refusals: an older installer of the same name survives, and nothing else appears.
cp "$setup" "$work/older.exe"
target=$work/Sample-Setup.exe
printf '{"name": "Sample",\n  "id": "x",\n  "exe": "bin/Sample.exe"}' >"$work/path.json"
printf '{"name": "Sample",\n  "id": "x",\n}' >"$work/syntax.json"
printf '{"name": "Sample", "id": " ", "exe": "Sample.exe"}' >"$work/blank-id.json"
printf 'not an icon' >"$work/bad.ico"
printf 'MZ but nothing else' >"$work/bad-stub.exe"
head -c 4096 "$E2E_SETUP_EXE" >"$work/cut-stub.exe"
before=$(ls "$work" | sort)

pack build --manifest "$work/syntax.json" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$target"
expect_refusal "JSON error" 1 "line 3, column 1"
pack build --manifest "$work/path.json" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$target"
expect_refusal "exe with a folder" 1 '"exe" must be a file name'
pack build --manifest "$work/blank-id.json" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$target"
expect_refusal "blank id" 1 '"id" is only white space'
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$work/missing.exe" --stub "$E2E_SETUP_EXE" --out "$target"
expect_refusal "missing app" 1 "missing.exe: No such file."
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --icon "$work/bad.ico" --stub "$E2E_SETUP_EXE" --out "$target"
expect_refusal "bad icon" 1 "The icon can't be used"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$work/bad-stub.exe" --out "$target"
expect_refusal "stub that isn't an executable" 1 "The stub can't be used"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$work/cut-stub.exe" --out "$target"
expect_refusal "truncated stub" 1 "truncated"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$target" --compressor gzip
expect_refusal "unknown compressor" 2 "unknown compressor gzip"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --out "$target"
expect_refusal "missing --app" 2 "missing --app"
pack frobnicate
expect_refusal "unknown command" 2 "unknown command frobnicate"
e2e_assert_same_file "a failed pack keeps the older installer" "$work/older.exe" "$target"
e2e_assert_eq "a failed pack leaves no other file" "$before" "$(ls "$work" | sort)"

# The strict gate: every mistake in the manifest reported at once, with its line and column; each
# input checked for its role; nothing written, the app left as it was.
cat >"$work/typos.json" <<'JSON'
{
  "name": "Sample", "id": "x", "exe": "notepad",
  "verison": 8.0,
  "documents": [{"name": "Note", "extension": ["wnote"], "owned": "true", "icon": 70000}],
  "publsher": "Me"
}
JSON
cp "$E2E_SAMPLE_EXE" "$work/app.exe"
printf '\211PNG\r\n\032\n....' >"$work/logo.png"
before=$(ls "$work" | sort)
pack build --manifest "$work/typos.json" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$target"
expect_refusal "manifest mistakes" 1 "typos.json:2:39: The manifest's \"exe\" \"notepad\" must end in \".exe\""
for line in 'typos.json:3:3: The manifest'"'"'s "verison" isn'"'"'t a key plinth knows (did you mean "version"?).' \
    'typos.json:4:34: The manifest'"'"'s "documents[0].extension" isn'"'"'t a key plinth knows (did you mean "extensions"?).' \
    'typos.json:4:67: The manifest'"'"'s "documents[0].owned" is the text "true"; it must be true or false: write true, without quotes.' \
    'typos.json:4:83: The manifest'"'"'s "documents[0].icon" is the number 70000' \
    'typos.json:5:3: The manifest'"'"'s "publsher" isn'"'"'t a key plinth knows (did you mean "publisher"?).' \
    'plinth-pack: nothing was written.'; do
  e2e_check "manifest mistakes: says $line" grep -qF -- "$line" "$work/stderr"
done
e2e_assert_eq "manifest mistakes: one line each" 7 "$(wc -l <"$work/stderr")"

pack build --manifest "$work/typos.json" --app "$E2E_SAMPLE_MANIFEST" --icon "$work/logo.png" \
  --stub "$E2E_SAMPLE_EXE" --out "$target"
expect_refusal "wrong inputs" 1 "The app isn't a Windows executable: it looks like JSON text"
e2e_check "wrong inputs: the icon's hint" grep -qF "logo.png: The icon is a PNG image, not a .ico file. Make an icon file from it, for example with ImageMagick: convert" "$work/stderr"
e2e_check "wrong inputs: the stub is another program" grep -qF 'The stub isn'"'"'t a plinth runtime: it is "Plinth Sample" 1.0.0' "$work/stderr"
e2e_check "wrong inputs: and the manifest's problems" grep -qF "typos.json:3:3:" "$work/stderr"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$work/app.exe" --stub "$setup" --out "$work/from-installer.exe"
expect_refusal "an installer as the stub" 1 "it is an installer that plinth-pack has made"

ln -s app.exe "$work/app-link.exe"
for out in "$work/app.exe" "$work/app-link.exe" "$work/./app.exe"; do
  pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$out"
  expect_refusal "--out $out is the app" 1 "--out is the same file as --app"
done
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$E2E_SAMPLE_MANIFEST"
expect_refusal "--out is the manifest" 1 "--out is the same file as --manifest"
e2e_assert_same_file "the app survives" "$E2E_SAMPLE_EXE" "$work/app.exe"
mkdir -p "$work/dist"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$work/dist"
expect_refusal "--out a folder" 1 "--out is a folder; give the installer's file name, such as $work/dist/MyApp-Setup.exe."
expect_refusal "--out a folder: the same last line as every refusal" 1 "nothing was written."
rm -f "$work/app-link.exe"
rmdir "$work/dist"
e2e_assert_eq "the refusals leave no file" "$before" "$(ls "$work" | sort)"

# Warnings: the installer is written, unless they count as errors; --quiet keeps only errors.
sed -e 's/"version": "1.0.0"/"version": "beta"/' -e 's/"icon": 1/"icon": 9/' "$E2E_SAMPLE_MANIFEST" >"$work/warn.json"
pack build --manifest="$work/warn.json" --app="$work/app.exe" --stub="$E2E_SETUP_EXE" --out="$work/warned.exe"
e2e_assert_eq "warnings: exit code" 0 "$rc"
e2e_check "warnings: the installer is written" test -s "$work/warned.exe"
e2e_check "warnings: the version" grep -qF 'plinth-pack: warning: '"$work"'/warn.json:4:14: The manifest'"'"'s "version" "beta" doesn'"'"'t start with a number' "$work/stderr"
e2e_check "warnings: the icon" grep -qF 'but the app'"'"'s exe has no icon group 9 (it has 1)' "$work/stderr"
e2e_assert_eq "warnings: two lines" 2 "$(wc -l <"$work/stderr")"
pack build --manifest "$work/warn.json" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$work/strict.exe" --warnings-as-errors
expect_refusal "--warnings-as-errors" 1 "the warnings count as errors (--warnings-as-errors); nothing was written."
e2e_check "--warnings-as-errors: nothing written" test ! -e "$work/strict.exe"
pack build --manifest "$work/warn.json" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$work/quiet.exe" --quiet
e2e_assert_eq "--quiet: exit code" 0 "$rc"
e2e_assert_eq "--quiet: nothing on standard output or error" "" "$out$err"
rm -f "$work/warned.exe" "$work/quiet.exe"

# "$schema" packs, and the installer is the same as without it but for the manifest's text.
sed 's|^{|{\n  "$schema": "../../docs/app-manifest.schema.json",|' "$E2E_SAMPLE_MANIFEST" >"$work/schema.json"
pack build --manifest "$work/schema.json" --app "$work/app.exe" --stub "$E2E_SETUP_EXE" --out "$work/schema.exe"
e2e_assert_eq "\$schema: exit code" 0 "$rc"
e2e_assert_eq "\$schema: no warning (a terminal would show progress, a file shows nothing)" "" "$err"
rm -f "$work/schema.exe"

# The command line: help for each command, -V, and the usage error's pointer to the help.
for command in build inspect raw winget; do
  pack "$command" --help
  e2e_assert_eq "$command --help: exit code" 0 "$rc"
  e2e_check "$command --help: its usage" grep -qF "Usage: plinth-pack $command" "$work/stdout"
done
pack -V
e2e_assert_eq "-V: exit code" 0 "$rc"
e2e_check "-V: the version" grep -q '^plinth-pack [0-9]' "$work/stdout"
pack build --manifest "$E2E_SAMPLE_MANIFEST" --app "$work/app.exe" --out "$target" --quiet=yes
expect_refusal "a flag with a value" 2 "--quiet takes no value"
e2e_check "a usage error points to the command's help" grep -qF "Run 'plinth-pack build --help'" "$work/stderr"
rm -f "$work/app.exe"

# Raw mode embeds anything; inspect then gives the installer's own message.
printf 'PLNSETUP\002\000\000\000{}' >"$work/bad-manifest.bin"
pack raw --package "$work/bad-manifest.bin" --stub "$E2E_SETUP_EXE" --out "$work/raw.exe"
e2e_assert_eq "raw: exit code" 0 "$rc"
pack inspect "$work/raw.exe"
expect_refusal "inspect of a damaged package" 1 "Its contents can't be read."
pack inspect "$E2E_SETUP_EXE"
expect_refusal "inspect of the bare stub" 1 "It has nothing in it to install."

# The licence notices travel in the stub, and so in every installer made from it.
for file in "$E2E_SETUP_EXE" "$setup"; do
  pack inspect --notices "$file"
  e2e_assert_eq "inspect --notices $(basename "$file"): exit code" 0 "$rc"
  e2e_assert_same_file "inspect --notices $(basename "$file") prints the runtime's notices" \
    "${PLINTH_SOURCE_DIR:?}/runtime/resources/notices.txt" "$work/stdout"
done
pack inspect --notices "$E2E_SAMPLE_EXE"
expect_refusal "inspect --notices of another program" 1 "It carries no licence notices"

# winget: the three manifests, with the installer's hash and its package's facts.
pack winget --installer "$setup" --url https://example.com/Sample-Setup.exe --package-id Plinth.Sample \
  --license MIT --short-description "A sample app." --out "$work/winget"
e2e_assert_eq "winget: exit code" 0 "$rc"
e2e_check "winget: the installer's SHA-256" grep -qiF "InstallerSha256: $(sha256sum "$setup" | cut -d' ' -f1)" \
  "$work/winget/Plinth.Sample.installer.yaml"
e2e_check "winget: the uninstall key's name as ProductCode" grep -qF 'ProductCode: "PlinthSample"' \
  "$work/winget/Plinth.Sample.installer.yaml"
e2e_assert_eq "winget: three files" 3 "$(ls "$work/winget" | wc -l)"
rm -rf "$work/winget"
pack winget --installer "$setup" --url ftp://example.com/S.exe --package-id Sample --license MIT \
  --short-description "A sample app." --out "$work/winget"
expect_refusal "winget: bad values" 1 "nothing was written."
e2e_assert_eq "winget: both problems" 3 "$(wc -l <"$work/stderr")"
e2e_check "winget: no folder made" test ! -e "$work/winget"

# The real stub's installer signs and verifies with osslsigncode and a throwaway certificate, and
# the signed installer can still be inspected (but not used as a stub).
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || e2e_die "$tool is missing: run scripts/setup-machine."
done
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj /CN=plinth-test >/dev/null 2>&1 || e2e_die "openssl could not make a certificate."
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Plinth Sample Setup" \
  -in "$setup" -out "$work/signed.exe" >"$work/sign.log" 2>&1
e2e_assert_eq "osslsigncode signs the installer" 0 "$?"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify.log" 2>&1
e2e_assert_eq "osslsigncode verifies the signature" 0 "$?"
e2e_check "the signature verifies: ok" grep -q 'Signature verification: ok' "$work/verify.log"
pack inspect "$work/signed.exe"
e2e_assert_eq "inspect of the signed installer: exit code" 0 "$rc"
e2e_check "inspect of the signed installer shows the manifest" grep -qF 'name:       "Plinth Sample"' "$work/stdout"

# feed maps the signed installer as it is: the map beside it, named in the feed by its size and
# SHA-256, of the signed bytes; against the unsigned installer's map, only the headers (checksum,
# signature entry) and the tail with the signature differ.
pack feed --feed "$work/feed.json" --installer "$work/signed.exe"
e2e_assert_eq "feed: exit code" 0 "$rc"
pack feed --feed "$work/unsigned-feed.json" --installer "$setup"
e2e_check "feed: the map is written beside the installer" test -s "$work/signed.exe.map"
e2e_check "feed: the map and its release agree, and the map is of the signed file" python3 - "$work" <<'PY'
import hashlib, json, struct, sys
work = sys.argv[1]
def read_map(path, installer):
    data = open(path, "rb").read()
    assert data[:8] == b"PLNMAP\0\2", data[:8]
    size, = struct.unpack_from("<Q", data, 8)
    count, = struct.unpack_from("<I", data, 48)
    blob = open(installer, "rb").read()
    assert size == len(blob) and data[16:48] == hashlib.sha256(blob).digest()
    regions, at, entry = [], 0, 52
    for i in range(count):
        length, shift = 0, 0
        while True:
            length |= (data[entry] & 0x7F) << shift
            entry, shift = entry + 1, shift + 7
            if not data[entry - 1] & 0x80:
                break
        digest = data[entry:entry + 8]
        entry += 8
        assert length >= 1 and digest == hashlib.sha256(blob[at:at + length]).digest()[:8]
        regions.append((at, length, digest))
        at += length
    assert at == size and entry == len(data)
    return data, regions
data, signed = read_map(work + "/signed.exe.map", work + "/signed.exe")
release = json.load(open(work + "/feed.json"))["releases"][0]
assert release["map"] == "signed.exe.map", release
assert release["mapSize"] == len(data) and release["mapSha256"] == hashlib.sha256(data).hexdigest(), release
_, unsigned = read_map(work + "/Sample-Setup.exe.map", work + "/Sample-Setup.exe")
old = {digest for _, _, digest in unsigned}
differ = [at for at, _, digest in signed if digest not in old]
assert differ == [0, signed[-1][0]], (differ, len(signed))
assert len(signed) > 10, len(signed)
PY
pack raw --package "$work/bad-manifest.bin" --stub "$work/signed.exe" --out "$work/resigned.exe"
expect_refusal "a signed stub" 1 "already signed"

# feed: a feed over the 1 MiB every installed app reads is refused before anything is written,
# with its size; a failure's closing clause ends the sentence once.
head -c $((2 * 1024 * 1024)) /dev/zero | tr '\0' n >"$work/notes.txt"
rm -f "$work/feed.json"  # the map's checks above made one
pack feed --feed "$work/feed.json" --installer "$setup" --notes-file "$work/notes.txt"
expect_refusal "a feed of 2 MiB of notes" 1 "would be 2097"
e2e_check "the refusal says what an app reads" grep -qF "more than the 1 MiB (1048576 bytes) an installed app reads" \
  "$work/stderr"
e2e_check "nothing was written, and it says so once" grep -qE "take old releases out of it; nothing was written\.$" \
  "$work/stderr"
e2e_check "no feed was written" test ! -e "$work/feed.json"
head -c $((1024 * 1024 + 1)) /dev/zero | tr '\0' ' ' >"$work/feed.json"
pack feed --feed "$work/feed.json" --installer "$setup"
expect_refusal "an existing feed over 1 MiB" 1 "larger than 1 MiB; it was left as it was."
e2e_check "no stray full stop before the clause" bash -c "! grep -qF '.;' '$work/stderr'"
