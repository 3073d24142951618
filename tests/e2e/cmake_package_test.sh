#!/bin/bash
# The CMake package of an installed prefix: find_package's version check and its reasons for
# "not found", plinth_add_installer's refusals of wrong calls, where it puts the installer, and
# how a cross toolchain finds the package. Small configure-only projects; release_test.sh builds
# and installs a real one.
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
