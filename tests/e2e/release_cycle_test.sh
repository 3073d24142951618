#!/bin/bash
# A release cycle: installers signed as they are packed (--sign-command with osslsigncode and a
# test certificate made as docs/packer.md makes one), what inspect shows of them, a result that
# isn't signed refused; the feed's signer warnings, a withdrawn release, a staged rollout at 0 %
# (not taken) then raised to 100 % (taken) without its installer, and a beta channel asked with
# /feed=, against a local HTTP server under Wine; the update's log read back, with the install's
# registry values in it; then /close-app closing the running app before a silent removal, which
# deletes the extension keys the install made.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

site="$E2E_WORK/site"
mkdir -p "$site/notes/beta"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >"$E2E_WORK/server.log" 2>&1 &
server_pid=$!
trap 'status=$?; kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; (exit $status); _e2e_cleanup' EXIT
e2e_wait_until 5 python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" ||
  e2e_die "The HTTP server didn't start: $(cat "$E2E_WORK/server.log")"
feed_url="http://127.0.0.1:$port/notes/feed.json"
beta_url="http://127.0.0.1:$port/notes/beta/feed.json"
feed="$site/notes/feed.json"

e2e_log "== signing as the installer is packed"
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/O=Plinth Project/CN=Plinth release test" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$E2E_WORK/key.pem" -out "$E2E_WORK/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$E2E_WORK/key.pem" -in "$E2E_WORK/cert.pem" -out "$E2E_WORK/test.pfx" \
    -passout pass:test >/dev/null 2>&1 || e2e_die "openssl could not make the test certificate."
e2e_check "the certificate is for code signing" grep -q "Code Signing" \
  <(openssl x509 -in "$E2E_WORK/cert.pem" -noout -ext extendedKeyUsage)
sign="osslsigncode sign -pkcs12 '$E2E_WORK/test.pfx' -pass test -h sha256 -n 'Plinth Sample' -in {in} -out {out}"

# pack VERSION OUT [build options...]: the sample app with the feed, a protocol and an AUMID.
pack() {
  local version=$1 out=$2
  shift 2
  jq --arg version "$version" --arg feed "$feed_url" \
    '.version = $version | .updates = {feed: $feed} | .protocols = ["plinth-sample"] | .appUserModelId = "Plinth.Sample"' \
    "$E2E_SAMPLE_MANIFEST" >"$E2E_WORK/app-$version.json" || e2e_die "Can't write the manifest of $version."
  "$E2E_PACK" build --manifest "$E2E_WORK/app-$version.json" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" \
    --out "$out" --quiet "$@" >"$E2E_WORK/pack-$version.log" 2>&1
}
signed_v1="$E2E_WORK/Signed-1.0.0-Setup.exe"
pack 1.0.0 "$signed_v1" --sign-command "$sign" || e2e_die "Packing and signing failed: $(cat "$E2E_WORK/pack-1.0.0.log")"
osslsigncode verify -CAfile "$E2E_WORK/cert.pem" -in "$signed_v1" >"$E2E_WORK/verify.log" 2>&1
e2e_check "the packed installer is signed and verifies" grep -q 'Signature verification: ok' "$E2E_WORK/verify.log"
e2e_assert_eq "nothing is left beside it" "Signed-1.0.0-Setup.exe" "$(cd "$E2E_WORK" && ls | grep -i setup)"
"$E2E_PACK" inspect "$signed_v1" >"$E2E_WORK/inspect.txt" 2>&1
for line in "  update feed: \"$feed_url\"" '  protocols:   "plinth-sample"' '  AppUserModelID: "Plinth.Sample"' \
    '  protocol key:    HKEY_CURRENT_USER\Software\Classes\plinth-sample' \
    '  signed by: CN=Plinth release test, O=Plinth Project (not verified here'; do
  e2e_check "inspect shows: $line" grep -qF -- "$line" "$E2E_WORK/inspect.txt"
done
cp "$signed_v1" "$E2E_WORK/before.exe"
pack 1.0.0 "$signed_v1" --sign-command "cp {in} {out}"
e2e_assert_eq "a sign command whose result isn't signed is refused" 1 "$?"
e2e_check "... saying why" grep -qF "isn't the installer with a signature added: it carries no signature" "$E2E_WORK/pack-1.0.0.log"
e2e_assert_same_file "... and the installer there stays as it was" "$E2E_WORK/before.exe" "$signed_v1"
pack 1.0.0 "$signed_v1" --sign-command "exit 7; {file}"
e2e_check "a failing sign command is refused with its exit code" grep -qF "the sign command failed (exit code 7)" "$E2E_WORK/pack-1.0.0.log"
e2e_assert_eq "nothing is left beside it" "Signed-1.0.0-Setup.exe" "$(cd "$E2E_WORK" && ls | grep -i setup)"

e2e_log "== check: every check of build, nothing written"
before=$(cd "$E2E_WORK" && ls | sort)
"$E2E_PACK" check --manifest "$E2E_WORK/app-1.0.0.json" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" \
  >"$E2E_WORK/check.log" 2>&1
e2e_assert_eq "check passes what build takes" 0 "$?"
e2e_check "... and says so" grep -qF "Plinth Sample 1.0.0 would build" "$E2E_WORK/check.log"
jq '.exe = "bin/PlinthSample.exe"' "$E2E_WORK/app-1.0.0.json" >"$E2E_WORK/bad.json"
"$E2E_PACK" check --manifest "$E2E_WORK/bad.json" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" >"$E2E_WORK/check.log" 2>&1
e2e_assert_eq "check refuses what build refuses" 1 "$?"
e2e_check "... with build's message" grep -qF '"exe"' "$E2E_WORK/check.log"
rm "$E2E_WORK/bad.json"
e2e_assert_eq "check wrote nothing" "$before" "$(cd "$E2E_WORK" && ls | grep -v '^check.log$' | sort)"

e2e_log "== the feed's signer warnings"
signed_feed="$E2E_WORK/signed-feed.json"
"$E2E_PACK" feed --feed "$signed_feed" --installer "$signed_v1" >"$E2E_WORK/feed.log" 2>&1
e2e_check "the feed records the signer" grep -qF '"signer": "CN=Plinth release test, O=Plinth Project"' "$signed_feed"
unsigned_v2="$E2E_WORK/Unsigned-2.0.0-Setup.exe"
pack 2.0.0 "$unsigned_v2" || e2e_die "Packing failed: $(cat "$E2E_WORK/pack-2.0.0.log")"
cp "$signed_feed" "$E2E_WORK/signed-feed.before"
"$E2E_PACK" feed --feed "$signed_feed" --installer "$unsigned_v2" --warnings-as-errors >"$E2E_WORK/feed.log" 2>&1
e2e_assert_eq "an unsigned release after signed ones is refused with --warnings-as-errors" 1 "$?"
e2e_check "... with the warning" grep -qF \
  "warning: the installer of 2.0.0 isn't signed, and earlier releases are (1.0.0 by CN=Plinth release test, O=Plinth Project)" \
  "$E2E_WORK/feed.log"
e2e_assert_same_file "... and the feed left as it was" "$E2E_WORK/signed-feed.before" "$signed_feed"
"$E2E_PACK" feed --feed "$signed_feed" --installer "$unsigned_v2" --allow-signer-change --warnings-as-errors \
  >"$E2E_WORK/feed.log" 2>&1
e2e_assert_eq "--allow-signer-change goes on without it" 0 "$?"

e2e_log "== withdrawal, staged rollout and a beta channel, under Wine"
setup_v1="$E2E_WORK/Sample-1.0.0-Setup.exe"
pack 1.0.0 "$setup_v1" || e2e_die "Packing failed."
for version in 2.0.0 3.0.0; do
  pack "$version" "$site/notes/Sample-$version-Setup.exe" || e2e_die "Packing $version failed."
done
"$E2E_PACK" feed --feed "$feed" --installer "$site/notes/Sample-2.0.0-Setup.exe" --rollout 0 >"$E2E_WORK/feed.log" 2>&1 &&
  "$E2E_PACK" feed --feed "$feed" --installer "$site/notes/Sample-3.0.0-Setup.exe" >>"$E2E_WORK/feed.log" 2>&1 &&
  "$E2E_PACK" feed --feed "$feed" --withdraw 3.0.0 >>"$E2E_WORK/feed.log" 2>&1 ||
  e2e_die "plinth-pack feed failed: $(cat "$E2E_WORK/feed.log")"
e2e_assert_eq "the feed has 2.0.0 alone, at 0 %" "2.0.0 0" "$(jq -r '.releases[] | "\(.version) \(.rollout)"' "$feed")"
"$E2E_PACK" feed --feed "$site/notes/beta/feed.json" --installer "$site/notes/Sample-3.0.0-Setup.exe" \
  --url ../Sample-3.0.0-Setup.exe >>"$E2E_WORK/feed.log" 2>&1 || e2e_die "The beta feed failed: $(cat "$E2E_WORK/feed.log")"

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
e2e_xvfb  # for the app's window, at the end; every Wine program of the test sees the one display
e2e_run "$setup_v1" /S
e2e_assert_exit 0
e2e_reg_value "$uninstall_key" PlinthRolloutNumber
e2e_assert_eq "the install keeps a random number of its own for rollouts" REG_DWORD "$E2E_REG_TYPE"
number=$E2E_REG_DATA
uninstaller=$(e2e_win_path "$E2E_PROGRAMS_DIR/Plinth Sample/uninstall.exe")
e2e_run "$uninstaller" /check-update
e2e_assert_exit 0
e2e_assert_file_bytes "at 0 % and with 3.0.0 withdrawn nothing is offered" "$E2E_STDOUT_FILE" ""
"$E2E_PACK" feed --feed "$feed" --release 2.0.0 --rollout 100 >>"$E2E_WORK/feed.log" 2>&1 ||
  e2e_die "Raising the rollout failed: $(cat "$E2E_WORK/feed.log")"
e2e_run "$uninstaller" /check-update
e2e_assert_exit 3
e2e_assert_file_bytes "raised to 100 % without a new installer, 2.0.0 is offered" "$E2E_STDOUT_FILE" $'2.0.0\n'
e2e_run "$uninstaller" /check-update "/feed=ftp://127.0.0.1/beta.json"
e2e_assert_exit 1
e2e_check "a channel's feed meets the manifest's URL rule" grep -q "^setup: The feed given with /feed= can't be used" "$E2E_STDERR_FILE"
e2e_run "$uninstaller" /check-update "/feed=$beta_url"
e2e_assert_exit 3
e2e_assert_file_bytes "the beta channel offers 3.0.0" "$E2E_STDOUT_FILE" $'3.0.0\n'
log="$E2E_WORK/update.log"
e2e_run "$uninstaller" /update /S "/feed=$beta_url" "/log=$(e2e_win_path "$log")"
e2e_assert_exit 0
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 3.0.0
e2e_assert_reg "$uninstall_key" PlinthRolloutNumber REG_DWORD "$number"
e2e_check "the log names the channel's feed" grep -qF "Update feed (from /feed=) $beta_url" "$log"
e2e_check "the log names the download and its size" grep -qF \
  "Downloading the update from http://127.0.0.1:$port/notes/Sample-3.0.0-Setup.exe ($(stat -c %s "$site/notes/Sample-3.0.0-Setup.exe") bytes)" "$log"
e2e_check "the log says the download was checked" grep -qF "Checked the download: the feed's size and SHA-256, the signer, and the package's own id and version" "$log"
e2e_check "the log names the version installed" grep -qF "Installed the update to version 3.0.0" "$log"
e2e_check "the log has the hash" grep -qF "SHA-256 as the feed gives it: $(sha256sum "$site/notes/Sample-3.0.0-Setup.exe" | cut -c1-64)" "$log"
e2e_check "... and the signer's check" grep -qF "Signer not checked: this program isn't signed" "$log"
for value in 'Classes\plinth-sample\shell\open\command\(Default)' 'Classes\plinth-sample\URL Protocol' \
    'Classes\.plnote\OpenWithProgids\PlinthSample.plnote' 'Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample\UrlProtocols'; do
  e2e_check "the new version's install logs the value $value" grep -qF "Wrote the registry value Software\\$value" "$log"
done
e2e_check "the running uninstall.exe is logged as moved aside" grep -qE "Moved aside .*uninstall\.exe to .*uninstall\.exe\.1\.old" "$log"
e2e_check "... and not as a failure to delete it" bash -c "! grep -q \"Can't delete .*uninstall\.exe:\" '$log'"
e2e_run "$uninstaller" /check-update
e2e_assert_exit 0
e2e_assert_file_bytes "back on the release feed, nothing is newer than the beta" "$E2E_STDOUT_FILE" ""

e2e_log "== /close-app: the running app asked to close before a silent removal"
folder="$E2E_PROGRAMS_DIR/Plinth Sample"
e2e_assert_reg "$uninstall_key" CreatedClassKeys REG_SZ '.plnote\OpenWithProgids|.plnote'
"$E2E_WINE" "$(e2e_win_path "$folder/PlinthSample.exe")" </dev/null >/dev/null 2>&1 &
app_pid=$!
e2e_find_window "Plinth Sample" 30 || e2e_die "The sample app's window did not appear."
log="$E2E_WORK/removal.log"
e2e_run "$uninstaller" /uninstall /S /close-app "/log=$(e2e_win_path "$log")"
e2e_assert_exit 0
e2e_wait_until 10 bash -c "! kill -0 $app_pid 2>/dev/null" || kill "$app_pid" 2>/dev/null
wait "$app_pid"
e2e_assert_eq "the app closed on its own, with its exit code 0" 0 "$?"
e2e_assert_absent "$folder/PlinthSample.exe"
e2e_check "the log says the app was asked to close" grep -qF "Asked the app's programs to close: 1 running from" "$log"
e2e_check "... and none stayed" bash -c "! grep -q 'Still running' '$log'"
for key in '.plnote\OpenWithProgids' '.plnote' 'plinth-sample'; do
  e2e_check "the removal deletes the key it made, empty now: $key" grep -qF "Deleted the registry key Software\\Classes\\$key" "$log"
  e2e_check "... which is gone" bash -c "! \"$E2E_WINE\" reg query 'HKCU\\Software\\Classes\\$key' </dev/null >/dev/null 2>&1"
done
