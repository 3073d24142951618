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

# Raw mode embeds anything; inspect then gives the installer's own message.
printf 'PLNSETUP\002\000\000\000{}' >"$work/bad-manifest.bin"
pack raw --package "$work/bad-manifest.bin" --stub "$E2E_SETUP_EXE" --out "$work/raw.exe"
e2e_assert_eq "raw: exit code" 0 "$rc"
pack inspect "$work/raw.exe"
expect_refusal "inspect of a damaged package" 1 "Its contents can't be read."
pack inspect "$E2E_SETUP_EXE"
expect_refusal "inspect of the bare stub" 1 "It has nothing in it to install."

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
pack raw --package "$work/bad-manifest.bin" --stub "$work/signed.exe" --out "$work/resigned.exe"
expect_refusal "a signed stub" 1 "already signed"
