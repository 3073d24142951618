#!/bin/bash
# The CMake package of an installed prefix: find_package's version check and its reasons for
# "not found", plinth_add_installer's refusals of wrong calls, where it puts the installer, how
# a cross toolchain finds the package, and the app folder it stages (what it holds after each
# change, collisions). Small projects, most only configured; release_test.sh installs real ones.
# e2e-no-prefix
# e2e-timeout: 180
source "$(dirname "$0")/lib.sh"
e2e_require setup packer

host_build=$(dirname "$E2E_PACK")
E2E_WORK="${PLINTH_E2E_ROOT:?}/work/cmake_package"
rm -rf "$E2E_WORK"
mkdir -p "$E2E_WORK"
prefix="$E2E_WORK/prefix with space"
cmake --install "$host_build" --prefix "$prefix" >/dev/null &&
  cmake --install "$PLINTH_WINDOWS_BUILD_DIR" --prefix "$prefix" --component stub >/dev/null ||
  e2e_die "Can't install the builds into $prefix."
version=$("$prefix/bin/plinth-pack" --version | sed 's/^plinth-pack //')
IFS=. read -r major minor _ <<<"$version"

# configure NAME BODY [cmake options...]: configures a project whose CMakeLists.txt is BODY
# after a cmake_minimum_required() line, with GENERATOR (default Ninja); leaves the output in
# $E2E_WORK/NAME.log and returns cmake's status. Projects with C (the ones with a target) share
# one folder, configured again for each, so that CMake looks at the compiler once.
configure() {
  local name=$1 body=$2
  shift 2
  local dir="$E2E_WORK/$name"
  [[ "$body" == "project(t LANGUAGES C)"* && -z "${GENERATOR:-}" ]] && dir="$E2E_WORK/c"
  mkdir -p "$dir/src"
  printf 'cmake_minimum_required(VERSION 3.20)\n%s\n' "$body" >"$dir/src/CMakeLists.txt"
  printf '{"name": "T", "id": "T", "exe": "t.exe"}\n' >"$dir/src/app.json"
  printf 'int main(void) { return 0; }\n' >"$dir/src/main.c"
  LAST_BUILD="$dir/build"
  cmake -S "$dir/src" -B "$dir/build" -G "${GENERATOR:-Ninja}" "$@" >"$E2E_WORK/$name.log" 2>&1
}

# expect_configure NAME STATUS TEXT BODY [options...]: configure gives STATUS (0 or 1) and, when
# TEXT isn't empty, says TEXT.
expect_configure() {
  local name=$1 want=$2 text=$3 body=$4
  shift 4
  configure "$name" "$body" "$@"
  local status=$?
  [[ $status -ne 0 ]] && status=1
  if [[ $status -ne $want ]]; then
    e2e_fail "$name: configure exits $want" "it exited $status:" "$(tail -n 15 "$E2E_WORK/$name.log")"
  elif [[ -n "$text" ]] && ! tr -s ' \n' ' ' <"$E2E_WORK/$name.log" | grep -qF -- "$text"; then
    e2e_fail "$name: says '$text'" "$(tail -n 15 "$E2E_WORK/$name.log")"
  else
    e2e_pass "$name: exits $want${text:+, says '$text'}"
  fi
}

pkg="-Dplinth_DIR=$prefix/lib/cmake/plinth"
use='project(t LANGUAGES C)
find_package(plinth REQUIRED)
add_executable(app main.c)'

e2e_log "--- find_package"
expect_configure found 0 "stub=$prefix/share/plinth/plinth-setup.exe" \
  "project(t NONE)
find_package(plinth $major.$minor REQUIRED)
message(STATUS \"stub=\${PLINTH_STUB}\")
message(STATUS \"pack=\${PLINTH_PACK_EXECUTABLE}\")" "$pkg"
expect_configure found-by-prefix-path 0 "" \
  "project(t NONE)
find_package(plinth $major.$minor REQUIRED)" "-DCMAKE_PREFIX_PATH=$prefix"
expect_configure next-minor-version 1 "plinth" \
  "project(t NONE)
find_package(plinth $major.$((minor + 1)) REQUIRED)" "$pkg"
expect_configure next-major-version 1 "plinth" \
  "project(t NONE)
find_package(plinth $((major + 1)).0 REQUIRED)" "$pkg"
# Under a cross toolchain's find root, CMAKE_PREFIX_PATH misses the package and plinth_DIR finds it.
cross='set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
project(t NONE)
find_package(plinth REQUIRED)'
expect_configure cross-root-prefix-path 1 "" "$cross" "-DCMAKE_PREFIX_PATH=$prefix"
expect_configure cross-root-plinth-dir 0 "" "$cross" "$pkg"

# A prefix whose stub is missing is not found, with the reason.
cp -r "$prefix" "$E2E_WORK/no-stub"
rm "$E2E_WORK/no-stub/share/plinth/plinth-setup.exe"
expect_configure prefix-without-stub 1 "has no $E2E_WORK/no-stub/share/plinth/plinth-setup.exe" \
  "project(t NONE)
find_package(plinth REQUIRED)" "-Dplinth_DIR=$E2E_WORK/no-stub/lib/cmake/plinth"

e2e_log "--- plinth_add_installer refuses wrong calls"
expect_configure no-such-target 1 "plinth_add_installer: there is no target nosuch" \
  "$use
plinth_add_installer(nosuch MANIFEST app.json)" "$pkg"
expect_configure not-an-executable 1 "plinth_add_installer: lib is not an executable built by this project" \
  "$use
add_library(lib STATIC main.c)
plinth_add_installer(lib MANIFEST app.json)" "$pkg"
expect_configure no-manifest 1 "plinth_add_installer: MANIFEST <file> is required" \
  "$use
plinth_add_installer(app ICON app.ico)" "$pkg"
expect_configure missing-manifest 1 "the MANIFEST file $E2E_WORK/c/src/nope.json does not exist" \
  "$use
plinth_add_installer(app MANIFEST nope.json)" "$pkg"
expect_configure missing-icon 1 "the ICON file $E2E_WORK/c/src/app.ico does not exist" \
  "$use
plinth_add_installer(app MANIFEST app.json ICON app.ico)" "$pkg"
expect_configure icon-without-value 1 "plinth_add_installer: ICON needs a value" \
  "$use
plinth_add_installer(app MANIFEST app.json ICON)" "$pkg"
expect_configure unknown-argument 1 "plinth_add_installer: unexpected arguments: COMPRESS;zlib" \
  "$use
plinth_add_installer(app MANIFEST app.json COMPRESS zlib)" "$pkg"
# A manifest made by the build is not there at configure time, and that's fine.
expect_configure generated-manifest 0 "" \
  "$use
add_custom_command(OUTPUT \${CMAKE_CURRENT_BINARY_DIR}/made.json
  COMMAND \${CMAKE_COMMAND} -E copy \${CMAKE_CURRENT_SOURCE_DIR}/app.json \${CMAKE_CURRENT_BINARY_DIR}/made.json)
plinth_add_installer(app MANIFEST \${CMAKE_CURRENT_BINARY_DIR}/made.json)" "$pkg"

e2e_log "--- where the installer goes"
# outputs: the outputs of the last configured build's rules that end in Setup.exe.
# (Ninja lists a custom command's output under its path relative to the build folder too.)
outputs() {
  cmake --build "$LAST_BUILD" -- -t targets all 2>/dev/null | sed -n 's/: CUSTOM_COMMAND$//p' |
    grep -v '^/' | grep 'Setup\.exe$' | sort
}
expect_configure beside-default 0 "" "$use
plinth_add_installer(app MANIFEST app.json)" "$pkg"
e2e_assert_eq "beside the target in its binary folder" "app-Setup.exe" "$(outputs)"
expect_configure beside-output-directory 0 "" "$use
set_target_properties(app PROPERTIES RUNTIME_OUTPUT_DIRECTORY bin)
plinth_add_installer(app MANIFEST app.json)" "$pkg"
e2e_assert_eq "beside the target in its RUNTIME_OUTPUT_DIRECTORY" "bin/app-Setup.exe" "$(outputs)"
expect_configure explicit-output 0 "" "$use
plinth_add_installer(app MANIFEST app.json OUTPUT \"dist/App Setup.exe\")" "$pkg"
e2e_assert_eq "OUTPUT relative to the binary folder" "dist/App Setup.exe" "$(outputs)"
# With a multi-configuration generator the target's file is in the configuration's folder, and
# so is its installer: built here, with the mingw toolchain (the packer takes only a Windows
# program as the app), to see the two side by side.
GENERATOR="Ninja Multi-Config" expect_configure multi-config 0 "" "$use
plinth_add_installer(app MANIFEST app.json)" "$pkg" \
  "-DCMAKE_TOOLCHAIN_FILE=$(cd "$(dirname "$0")/../.." && pwd)/cmake/mingw-w64-x86_64.cmake"
cmake --build "$E2E_WORK/multi-config/build" --config Release >"$E2E_WORK/multi-config-build.log" 2>&1
e2e_check "multi-config: the app is in Release/" test -f "$E2E_WORK/multi-config/build/Release/app.exe"
e2e_check "multi-config: its installer is beside it" test -f "$E2E_WORK/multi-config/build/Release/app-Setup.exe"

e2e_log "--- plinth::update, SIGN_COMMAND and FEED under a cross toolchain, from a prefix laid out like /usr"
# The Debian package's prefix is /usr, whose include/ holds the build machine's C headers. Here
# a copy of the prefix has headers of that name that stop any compiler reading them: the
# consumer builds only when plinth::update's include folder is not the prefix's include/.
usr_like="$E2E_WORK/usr-like"
cp -r "$prefix" "$usr_like"
for header in stdio.h stddef.h windows.h; do
  printf '#error the build machine'"'"'s %s came first\n' "$header" >"$usr_like/include/$header"
done
update_src="$E2E_WORK/update-consumer"
mkdir -p "$update_src"
printf '%s\n' 'cmake_minimum_required(VERSION 3.20)' 'project(t LANGUAGES C)' \
  'find_package(plinth REQUIRED)' 'add_executable(app WIN32 main.c)' \
  'target_link_libraries(app PRIVATE plinth::update)' \
  'plinth_add_installer(app MANIFEST app.json FEED feed.json' \
  '  SIGN_COMMAND "osslsigncode sign -pkcs12 '"'"'${PFX}'"'"' -pass \$PLINTH_TEST_PFX_PASSWORD -h sha256 -in {in} -out {out}")' \
  >"$update_src/CMakeLists.txt"
printf '{"name": "T", "id": "T", "version": "1.0.0", "exe": "t.exe"}\n' >"$update_src/app.json"
# A test certificate as docs/packer.md makes one: code signing, in a .pfx with a password.
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=plinth cmake test" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$E2E_WORK/key.pem" -out "$E2E_WORK/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$E2E_WORK/key.pem" -in "$E2E_WORK/cert.pem" -out "$E2E_WORK/test.pfx" \
    -passout pass:secret >/dev/null 2>&1 || e2e_die "openssl could not make a test certificate."
export PLINTH_TEST_PFX_PASSWORD=secret
printf '%s\n' '#include <stdio.h>' '#include <plinth/update.h>' \
  'int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) {' \
  '    char version[64];' '    (void)i; (void)p; (void)c; (void)s;' \
  '    if (plinth_check_update(version, sizeof version) == PLINTH_UPDATE_AVAILABLE) puts(version);' \
  '    return 0;' '}' >"$update_src/main.c"
(cmake -S "$update_src" -B "$update_src/build" -G Ninja "-Dplinth_DIR=$usr_like/lib/cmake/plinth" "-DPFX=$E2E_WORK/test.pfx" \
  "-DCMAKE_TOOLCHAIN_FILE=$(cd "$(dirname "$0")/../.." && pwd)/cmake/mingw-w64-x86_64.cmake" &&
  cmake --build "$update_src/build") >"$E2E_WORK/update-consumer.log" 2>&1
status=$?
e2e_assert_eq "a mingw-w64 app linking plinth::update builds against a /usr-like prefix" 0 "$status"
[[ $status -eq 0 ]] && e2e_check "its exe is a Windows program" test -f "$update_src/build/app.exe"
[[ $status -eq 0 ]] || tail -n 15 "$E2E_WORK/update-consumer.log" | sed 's/^/      /' >&2
e2e_check "the header in plinth::update's folder is the one in the prefix's include/" \
  cmp -s "$prefix/include/plinth/update.h" "$prefix/share/plinth/include/plinth/update.h"
signed_installer="$update_src/build/app-Setup.exe"
osslsigncode verify -CAfile "$E2E_WORK/cert.pem" -in "$signed_installer" >"$E2E_WORK/update-consumer-verify.log" 2>&1
e2e_check "SIGN_COMMAND signed the installer, with the password from the environment" \
  grep -q 'Signature verification: ok' "$E2E_WORK/update-consumer-verify.log"
e2e_check "FEED ran after signing: the feed has the signed file's size" \
  grep -qF "\"size\": $(stat -c %s "$signed_installer")," "$update_src/build/feed.json"
e2e_check "... and its SHA-256" \
  grep -qF "\"sha256\": \"$(sha256sum "$signed_installer" | cut -d' ' -f1)\"" "$update_src/build/feed.json"
e2e_check "nothing changed: neither packed nor signed again" \
  grep -q 'no work to do' <(cmake --build "$update_src/build" 2>&1)
# A signer that leaves the file unsigned fails the build and puts nothing in place.
sed -i 's/osslsigncode sign [^"]*-in {in} -out {out}/cp {in} {out}/' "$update_src/CMakeLists.txt"
cp "$signed_installer" "$E2E_WORK/signed-before.exe"
cmake --build "$update_src/build" >"$E2E_WORK/update-consumer-unsigned.log" 2>&1
e2e_assert_eq "a SIGN_COMMAND that doesn't sign fails the build" 1 "$(( $? != 0 ))"
e2e_check "it says why" grep -qF "isn't the installer with a signature added: it carries no signature" \
  "$E2E_WORK/update-consumer-unsigned.log"
e2e_assert_same_file "the signed installer stays as it was" "$E2E_WORK/signed-before.exe" "$signed_installer"
expect_configure sign-command-without-file 1 "SIGN_COMMAND names no file" \
  "$use
plinth_add_installer(app MANIFEST app.json SIGN_COMMAND \"signtool sign installer.exe\")" "$pkg"

e2e_log "--- the app folder"
expect_configure destination-first 1 "DESTINATION belongs after FILES <file>... or DIRECTORY <folder>" \
  "$use
plinth_add_installer(app MANIFEST app.json DESTINATION x FILES main.c)" "$pkg"
expect_configure destination-without-value 1 "plinth_add_installer: DESTINATION needs a value" \
  "$use
plinth_add_installer(app MANIFEST app.json FILES main.c DESTINATION)" "$pkg"
expect_configure files-without-value 1 "plinth_add_installer: FILES needs a value" \
  "$use
plinth_add_installer(app MANIFEST app.json FILES DESTINATION x)" "$pkg"
expect_configure directory-two-folders 1 "DIRECTORY takes one folder (write DIRECTORY again for b)" \
  "$use
plinth_add_installer(app MANIFEST app.json DIRECTORY a b)" "$pkg"
expect_configure destination-outside 1 "DESTINATION data/../.. must stay inside the app folder" \
  "$use
plinth_add_installer(app MANIFEST app.json FILES main.c DESTINATION data/../..)" "$pkg"
expect_configure files-folder 1 "FILES src: $E2E_WORK/c/src/src is a folder (DIRECTORY takes a folder)" \
  "$use
file(MAKE_DIRECTORY \${CMAKE_CURRENT_SOURCE_DIR}/src)
plinth_add_installer(app MANIFEST app.json FILES main.c src)" "$pkg"
expect_configure directory-missing 1 "DIRECTORY nope: $E2E_WORK/c/src/nope is not a folder" \
  "$use
plinth_add_installer(app MANIFEST app.json RUNTIME_DLLS DIRECTORY nope)" "$pkg"

# One project, built with the mingw toolchain and changed between builds: what the app folder
# holds, what a rebuild does, and the collisions that stop the build.
app_dir="$E2E_WORK/app-folder"
mkdir -p "$app_dir/src/data/sub" "$app_dir/src/extra"
printf '{"name": "T", "id": "T", "exe": "t.exe"}\n' >"$app_dir/src/app.json"
printf '__declspec(dllimport) int core(void);\nint main(void) { return core(); }\n' >"$app_dir/src/main.c"
printf '__declspec(dllexport) int core(void) { return 0; }\n' >"$app_dir/src/core.c"
printf 'a\n' >"$app_dir/src/data/a.txt"
printf 'b\n' >"$app_dir/src/data/sub/b.txt"
printf 'readme\n' >"$app_dir/src/extra/readme.txt"
printf 'old\n' >"$app_dir/src/extra/T.EXE"
printf 'a file\n' >"$app_dir/src/extra/Data"
# app_project ARGUMENTS: the project, plinth_add_installer(app MANIFEST app.json ARGUMENTS).
app_project() {
  printf '%s\n' 'cmake_minimum_required(VERSION 3.21)' 'project(t LANGUAGES C)' \
    'find_package(plinth REQUIRED)' 'add_library(core SHARED core.c)' 'add_library(plugin MODULE core.c)' \
    'add_executable(app main.c)' 'target_link_libraries(app PRIVATE core)' \
    "plinth_add_installer(app MANIFEST app.json $1)" >"$app_dir/src/CMakeLists.txt"
}
app_build() { cmake --build "$app_dir/build" >"$E2E_WORK/app-folder.log" 2>&1; }
app_folder() { (cd "$app_dir/build/app-app" && find . -type f -o -type d -empty | sed 's,^\./,,' | sort | tr '\n' ' '); }
app_project 'RUNTIME_DLLS FILES extra/readme.txt DESTINATION docs DIRECTORY data DESTINATION ./data/
  FILES $<TARGET_FILE:plugin> $<TARGET_FILE:core> DESTINATION plugins'
cmake -S "$app_dir/src" -B "$app_dir/build" -G Ninja "$pkg" \
  "-DCMAKE_TOOLCHAIN_FILE=$(cd "$(dirname "$0")/../.." && pwd)/cmake/mingw-w64-x86_64.cmake" \
  >"$E2E_WORK/app-folder-configure.log" 2>&1 || e2e_die "Can't configure $app_dir."
app_build
e2e_assert_eq "the app folder: the exe under the manifest's name, the DLL beside it, the rest at its DESTINATION" \
  "data/a.txt data/sub/b.txt docs/readme.txt libcore.dll plugins/libcore.dll plugins/libplugin.dll t.exe " "$(app_folder)"
e2e_check "the installer carries the folder" \
  grep -qF 'plugins\libplugin.dll' <("$E2E_PACK" inspect "$app_dir/build/app-Setup.exe")
e2e_check "a second build has nothing to do" grep -q 'no work to do' <(app_build; cat "$E2E_WORK/app-folder.log")
# A file gone from the DIRECTORY and a FILES taken out of the call are gone from the next stage.
rm "$app_dir/src/data/sub/b.txt"
app_project 'RUNTIME_DLLS DIRECTORY data DESTINATION data FILES $<TARGET_FILE:plugin> DESTINATION plugins'
app_build
e2e_assert_eq "what is no longer named is gone from the app folder" \
  "data/a.txt libcore.dll plugins/libplugin.dll t.exe " "$(app_folder)"

# expect_build_failure NAME TEXT ARGUMENTS: the build with these arguments fails and says TEXT.
expect_build_failure() {
  app_project "$3"
  if app_build; then
    e2e_fail "$1: the build fails" "it succeeded"
  elif ! tr -s ' \n' ' ' <"$E2E_WORK/app-folder.log" | grep -qF -- "$2"; then
    e2e_fail "$1: says '$2'" "$(tail -n 15 "$E2E_WORK/app-folder.log")"
  else
    e2e_pass "$1: the build fails and says '$2'"
  fi
}
expect_build_failure "a file named like the exe" \
  'The app folder has "t.exe" (from the target app) and "T.EXE" (from FILES extra/T.EXE), which are one file on Windows (it ignores case).' \
  'RUNTIME_DLLS FILES extra/T.EXE'
expect_build_failure "a file and a folder of one name" \
  'The app folder has "Data" both as a file and as a folder: "Data" (from FILES extra/Data) and "data\a.txt" (from DIRECTORY data).' \
  'DIRECTORY data DESTINATION data FILES extra/Data'
expect_build_failure "a name the packer refuses" 'plinth-pack: The app folder'"'"'s file "old.old" ends in ".old"' 'FILES extra/readme.txt DESTINATION old.old'
