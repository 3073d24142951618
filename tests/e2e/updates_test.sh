#!/bin/bash
# Updates end to end, against a local HTTP server the test starts and stops: v1 of the sample app
# installed, v2 in a feed written by plinth-pack feed. /check-update finds v2; a changed byte, a
# feed of another app and a stopped server each fail with v1 untouched; /update /S /restart while
# v1 runs installs v2 (the running exe moved aside, uninstall.exe now v2's installer) and starts
# the app again. v2's feed is HTTPS: refused until the test's certificate is trusted by the prefix;
# then an app calling plinth/update.h (C89) finds v3 and updates to it with a restart. /update
# without /S shows its dialog: "Not now" exits 2; "Update" installs v2 and shows the result.
# What the feed's server can't do: label v1's installer 9.0.0, serve another app's installer,
# redirect to a host updates may not come from, answer never (each wait ends within 10 s); and an
# installer that fails on its own leaves its one setup: line alone.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog_lib.sh"
e2e_require setup sample packer
dlg_setup  # the prefix, and an X server for the dialog and the running app's window

site="$E2E_WORK/site"
mkdir -p "$site/notes"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
server_pid=""
# The site's files, with the redirects that "$site/redirects" lists ("PATH LOCATION" lines) and a
# path that accepts the request and never answers.
start_server() {
  python3 -c '
import functools, http.server, os, sys, time
class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/silent":
            time.sleep(100)
            return
        try:
            with open(os.path.join(sys.argv[2], "redirects")) as listed:
                for line in listed:
                    path, location = line.split()
                    if path == self.path:
                        self.send_response(302)
                        self.send_header("Location", location)
                        self.send_header("Content-Length", "0")
                        self.end_headers()
                        return
        except FileNotFoundError:
            pass
        super().do_GET()
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), functools.partial(Handler, directory=sys.argv[2]))
server.daemon_threads = True
server.serve_forever()' "$port" "$site" >>"$E2E_WORK/out/server.log" 2>&1 &
  server_pid=$!
  local tries
  for tries in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && return 0
    sleep 0.1
  done
  e2e_die "The HTTP server didn't start on port $port: $(cat "$E2E_WORK/out/server.log")"
}
stop_server() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  server_pid=""
}
# The same site over HTTPS on localhost, with a certificate made here that only this test's Wine
# prefix is told to trust (its user's root store), never the machine's.
https_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_WORK/tls.key" -out "$E2E_WORK/tls.pem" -days 2 \
  -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost" >"$E2E_WORK/out/openssl.log" 2>&1 ||
  e2e_die "openssl can't make the test certificate: $(cat "$E2E_WORK/out/openssl.log")"
python3 -c '
import functools, http.server, ssl, sys
server = http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])),
                                functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[2]))
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[3], sys.argv[4])
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()' "$https_port" "$site" "$E2E_WORK/tls.pem" "$E2E_WORK/tls.key" >>"$E2E_WORK/out/https.log" 2>&1 &
https_pid=$!
trust_test_certificate() {
  local blob thumbprint
  # A registry store entry: the certificate as its one property (CERT_CERT_PROP_ID, 32).
  read -r thumbprint blob < <(python3 -c '
import hashlib, ssl, struct, sys
der = ssl.PEM_cert_to_DER_cert(open(sys.argv[1]).read())
print(hashlib.sha1(der).hexdigest().upper(), (struct.pack("<III", 32, 1, len(der)) + der).hex())' "$E2E_WORK/tls.pem")
  e2e_wine reg add "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint" /v Blob \
    /t REG_BINARY /d "$blob" /f >/dev/null || e2e_die "Can't add the test certificate to the prefix's root store."
}
trap 'status=$?; stop_server; kill "$https_pid" 2>/dev/null; (exit $status); _e2e_cleanup' EXIT
start_server

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample'
folder="$E2E_PROGRAMS_DIR/Plinth Sample"
feed="$site/notes/feed.json"

# pack VERSION OUT [FEED-URL]: the sample app with an update feed on the local server.
pack() {
  local manifest="$E2E_WORK/app-$1.json"
  jq --arg version "$1" --arg feed "${3:-http://127.0.0.1:$port/notes/feed.json}" \
    '.version = $version | .updates = {feed: $feed}' "$E2E_SAMPLE_MANIFEST" >"$manifest" || e2e_die "Can't write $manifest."
  "$E2E_PACK" build --manifest "$manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$2" --quiet \
    >"$E2E_WORK/out/pack-$1.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}
setup_v1="$E2E_WORK/Sample-1.0.0-Setup.exe"
setup_v2="$site/notes/Sample 2.0.0 Setup.exe"
pack 1.0.0 "$setup_v1"
# v2 looks for its own updates over HTTPS.
pack 2.0.0 "$setup_v2" "https://localhost:$https_port/notes/feed.json"
"$PLINTH_PACK" feed --feed "$feed" --installer "$setup_v2" --notes "Faster." >"$E2E_WORK/out/feed.log" 2>&1 ||
  e2e_die "plinth-pack feed failed: $(cat "$E2E_WORK/out/feed.log")"
e2e_assert_eq "the feed names the installer by its encoded file name" "Sample%202.0.0%20Setup.exe" \
  "$(jq -r '.releases[0].installer' "$feed")"
cp "$feed" "$E2E_WORK/feed.good"
cp "$setup_v2" "$E2E_WORK/v2.good"

e2e_run "$setup_v1" /S
e2e_assert_exit 0
uninstaller="$folder/uninstall.exe"
[[ -f "$uninstaller" ]] || e2e_die "v1 isn't installed: $(cat "$E2E_STDERR_FILE")"
win_uninstaller=$(e2e_win_path "$uninstaller")

# v1 as installed, and no download left behind.
expect_v1() {
  e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 1.0.0
  e2e_assert_same_file "uninstall.exe is still v1's installer" "$setup_v1" "$uninstaller"
  e2e_assert_eq "no download left in the temporary folder" "" \
    "$(find "$WINEPREFIX/drive_c" -name 'plinth-update-*' 2>/dev/null)"
}

e2e_log "== /check-update"
e2e_run "$win_uninstaller" /check-update
e2e_assert_exit 3
e2e_assert_file_bytes "the newer version on standard output" "$E2E_STDOUT_FILE" $'2.0.0\n'
expect_v1

# update_fails WHAT EXPECTED-TEXT: /update /S exits 1 with that in its setup: line.
update_fails() {
  e2e_log "== refused: $1"
  e2e_run "$win_uninstaller" /update /S /restart
  e2e_assert_exit 1
  if grep -q "^setup: .*$2" "$E2E_STDERR_FILE"; then e2e_pass "the setup: line says \"$2\""
  else e2e_fail "the setup: line says \"$2\"" "$(cat "$E2E_STDERR_FILE")"; fi
  expect_v1
}
# The byte flipped, not overwritten with a fixed value: the stub's own byte there may be that value.
byte=$(od -An -tu1 -j4096 -N1 "$setup_v2")
printf "\\$(printf '%03o' $((byte ^ 255)))" | dd of="$setup_v2" bs=1 seek=4096 conv=notrunc status=none
cmp -s "$setup_v2" "$E2E_WORK/v2.good" && e2e_die "The installer's byte 4096 didn't change."
update_fails "one byte changed" "its SHA-256 is"
cp "$E2E_WORK/v2.good" "$setup_v2"
jq '.id = "com.example.other"' "$E2E_WORK/feed.good" >"$feed"
update_fails "a feed of another app" "is for another app"
cp "$E2E_WORK/feed.good" "$feed"

# release_as VERSION INSTALLER: the feed offers VERSION, whose installer is this file.
release_as() {
  cp "$2" "$site/notes/offered.exe"
  jq --arg version "$1" --arg sha "$(sha256sum <"$2" | cut -d' ' -f1)" --argjson size "$(stat -c %s "$2")" \
    '.releases[0] += {version: $version, installer: "offered.exe", sha256: $sha, size: $size}' "$E2E_WORK/feed.good" >"$feed"
}
release_as 9.0.0 "$setup_v1"
update_fails "v1's installer labelled 9.0.0" "is Plinth Sample 1.0.0, not the version 9.0.0 the feed says it is."
other_manifest="$E2E_WORK/other.json"
jq '.id = "com.example.other" | .name = "Other App" | .version = "2.0.0"' "$E2E_SAMPLE_MANIFEST" >"$other_manifest"
"$E2E_PACK" build --manifest "$other_manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$E2E_WORK/other.exe" \
  --quiet >"$E2E_WORK/out/pack-other.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-other.log")"
release_as 2.0.0 "$E2E_WORK/other.exe"
update_fails "another app's installer" "is the installer of another app (Other App, id \"com.example.other\")"
# v2's installer with a byte of its app changed, the feed's hash made to match: it starts, and
# fails on its own.
python3 -c '
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
package = data.rindex(b"PLNSETUP")  # the resource, after any copy of the magic in the code
payload = package + 12 + struct.unpack_from("<I", data, package + 8)[0]
data[payload + 1000] ^= 0xFF
open(sys.argv[2], "wb").write(data)' "$E2E_WORK/v2.good" "$E2E_WORK/v2-damaged.exe"
release_as 2.0.0 "$E2E_WORK/v2-damaged.exe"
update_fails "an installer that fails on its own" "The app inside the installer is damaged."
e2e_assert_eq "one setup: line, the new installer's own" 1 "$(grep -c '^setup: ' "$E2E_STDERR_FILE")"
cp "$E2E_WORK/feed.good" "$feed"
echo "/notes/feed.json http://127.0.0.2:$port/notes/feed.json" >"$site/redirects"
update_fails "a redirect to another host" "leads to \"http://127.0.0.2:$port/notes/feed.json\", which isn't a URL updates may come from"
echo "/notes/feed.json /silent" >"$site/redirects"
started=$SECONDS
update_fails "a server that never answers" "didn't answer in time"
e2e_check "the silent server was given up on within the feed's minute" test $((SECONDS - started)) -lt 60
rm "$site/redirects"
stop_server
update_fails "a stopped server" "can't be downloaded from http://127.0.0.1:$port/notes/feed.json"
start_server

e2e_log "== /update with its dialog: Not now, then Update"
dlg_launch "$win_uninstaller" /update
if dlg_wait_page "Plinth Sample 2.0.0 is available"; then
  dlg_assert_title "Plinth Sample"
  dlg_assert_page "the offer: the installed version, the notes, Update and Not now" "Static|Plinth Sample 2.0.0 is available
Static|You have version 1.0.0.
Static|Faster.
Button|Hide details
Button|Update
Button|Not now"
  dlg_screenshot update-offer
  dlg_click_closing "Not now"
fi
dlg_wait_exit && e2e_assert_exit 2
expect_v1
dlg_launch "$win_uninstaller" /update
if dlg_wait_page "Plinth Sample 2.0.0 is available"; then
  dlg_click "Update"
  if dlg_wait_page "Plinth Sample 2.0.0 is installed"; then
    dlg_screenshot update-installed
    e2e_check "the result page offers Open beside Close" grep -qxF "Button|Open Plinth Sample" <(dlg_page_texts)
  fi
  dlg_click_closing "&Close"
fi
dlg_wait_exit && e2e_assert_exit 0
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 2.0.0
e2e_assert_same_file "uninstall.exe is v2's installer" "$setup_v2" "$uninstaller"
# Back to v1 for what follows.
e2e_run "$setup_v1" /S
e2e_assert_exit 0
expect_v1

e2e_log "== /update /S /restart while v1 runs"
e2e_start "$(e2e_win_path "$folder/PlinthSample.exe")"
app_pid=$E2E_BG_PID
e2e_find_window "Plinth Sample" 30 || e2e_die "v1 of the app didn't start."
E2E_TIMEOUT=120 e2e_run "$win_uninstaller" /update /S /restart
e2e_assert_exit 0
e2e_assert_file_bytes "nothing on standard error" "$E2E_STDERR_FILE" ""
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 2.0.0
e2e_assert_same_file "uninstall.exe is v2's installer" "$setup_v2" "$uninstaller"
e2e_assert_same_file "the running exe moved aside" "$E2E_SAMPLE_EXE" "$folder/PlinthSample.exe.1.old"
e2e_assert_eq "no download left in the temporary folder" "" \
  "$(find "$WINEPREFIX/drive_c" -name 'plinth-update-*' 2>/dev/null)"
deadline=$((SECONDS + 30))
windows=0
while [[ $SECONDS -lt $deadline ]]; do
  windows=$(xdotool search --onlyvisible --name '^Plinth Sample$' 2>/dev/null | wc -l)
  [[ $windows -ge 2 ]] && break
  sleep 0.3
done
e2e_assert_eq "the app was started again beside the running v1" 2 "$windows"

e2e_log "== HTTPS: refused until the certificate is trusted, then nothing newer"
e2e_run "$win_uninstaller" /check-update
e2e_assert_exit 1
if grep -Eq "^setup: The update feed can't be downloaded from https://localhost:$https_port/.*WinHTTP error 12(045|157|175)" \
  "$E2E_STDERR_FILE"; then
  e2e_pass "an untrusted certificate is refused"
else e2e_fail "an untrusted certificate is refused" "$(cat "$E2E_STDERR_FILE")"; fi
trust_test_certificate
e2e_run "$win_uninstaller" /check-update
e2e_assert_exit 0
e2e_assert_file_bytes "no version on standard output" "$E2E_STDOUT_FILE" ""
e2e_run "$win_uninstaller" /update /S
e2e_assert_exit 0

e2e_log "== plinth/update.h from the app's folder: check, then update with a restart, over HTTPS"
setup_v3="$site/notes/Sample-3.0.0-Setup.exe"
pack 3.0.0 "$setup_v3"
"$PLINTH_PACK" feed --feed "$feed" --installer "$setup_v3" >>"$E2E_WORK/out/feed.log" 2>&1 ||
  e2e_die "plinth-pack feed failed: $(cat "$E2E_WORK/out/feed.log")"
e2e_find_built plinth-update-caller.exe
cp "$E2E_FOUND" "$folder/"
e2e_run "$(e2e_win_path "$folder/plinth-update-caller.exe")"
e2e_assert_exit 0
e2e_assert_file_bytes "the header's check found 3.0.0 and started the update" "$E2E_STDOUT_FILE" \
  $'check 3 3.0.0\r\nupdate 1\r\n'  # the C runtime's text mode
# v1, the app v2's update started, and now the one the header's update starts.
app_windows_at_least() { [[ $(xdotool search --onlyvisible --name '^Plinth Sample$' 2>/dev/null | wc -l) -ge $1 ]]; }
e2e_check "the update the header started restarted the app" e2e_wait_until 90 app_windows_at_least 3
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 3.0.0
e2e_assert_same_file "uninstall.exe is v3's installer" "$setup_v3" "$uninstaller"

e2e_wine taskkill /im PlinthSample.exe >/dev/null
E2E_BG_PID=$app_pid
e2e_wait_exit 20
