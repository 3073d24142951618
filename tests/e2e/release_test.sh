#!/bin/bash
# The release, in its quick form: scripts/release packages the host and windows builds (the full
# release builds its own presets first, with the same install and packaging steps). Checked here:
# the archives and the package come out the same bytes twice; the Linux packer needs glibc alone;
# each archive, extracted in a folder of its own, packs the sample with the stub of its own
# prefix; examples/cmake-app configures against the extracted prefix under the mingw toolchain
# with the commands of docs/ci.md, builds its installer, and that installer installs and removes
# the app silently under Wine; examples/cmake-folder-app builds against the extracted Debian
# package, and its installer installs an app that runs from its folder.
# e2e-timeout: 400
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer wine
e2e_prefix

src=${PLINTH_SOURCE_DIR:?}
host_build=$(dirname "$E2E_PACK")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$host_build/CMakeCache.txt")
[[ -n "$version" ]] || e2e_die "No project version in $host_build/CMakeCache.txt."
work="$E2E_WORK/release"
mkdir -p "$work"
export SOURCE_DATE_EPOCH=1700000000

# --- The files, twice
for run in 1 2; do
  if ! bash "$src/scripts/release" --builds "$host_build" "$PLINTH_WINDOWS_BUILD_DIR" \
      --dist "$work/dist$run" >"$work/release$run.log" 2>&1; then
    sed 's/^/      /' "$work/release$run.log"
    e2e_die "scripts/release failed (run $run)."
  fi
done
files=("plinth-$version-linux-x86_64.tar.gz" "plinth-$version-windows-x86_64.zip"
  "plinth-pack_${version}_amd64.deb" SHA256SUMS)
for file in "${files[@]}"; do
  e2e_assert_file "$work/dist1/$file"
  e2e_assert_same_file "$file is the same bytes in a second run" "$work/dist1/$file" "$work/dist2/$file"
done
e2e_check "SHA256SUMS matches the three files" bash -c "cd '$work/dist1' && sha256sum --strict -c SHA256SUMS"
e2e_assert_eq "SHA256SUMS lists the three files" 3 "$(wc -l <"$work/dist1/SHA256SUMS")"
# Time stamps come from SOURCE_DATE_EPOCH, not from the clock.
e2e_assert_eq "every tar entry has the time of SOURCE_DATE_EPOCH" "2023-11-14 22:13" \
  "$(TZ=UTC tar -tvzf "$work/dist1/${files[0]}" | awk '{ print $4 " " $5 }' | sort -u)"

# --- The Linux archive, extracted where no build ever was
linux="$work/unpacked linux"
mkdir -p "$linux"
tar -xzf "$work/dist1/${files[0]}" -C "$linux" || e2e_die "Can't extract ${files[0]}."
prefix="$linux/plinth-$version"
for file in bin/plinth-pack share/plinth/plinth-setup.exe share/plinth/app-manifest.schema.json \
    share/doc/plinth/README.md share/doc/plinth/docs/packer.md share/doc/plinth/docs/cmake.md \
    share/doc/plinth/docs/winget.md share/doc/plinth/LICENSE share/doc/plinth/THIRD-PARTY-NOTICES \
    share/doc/plinth/examples/cmake-app/CMakeLists.txt share/doc/plinth/examples/sample-app/app.json \
    lib/cmake/plinth/plinthConfig.cmake lib/cmake/plinth/plinthConfigVersion.cmake \
    lib/cmake/plinth/plinth_stage.cmake; do
  e2e_assert_file "$prefix/$file"
done
# The docs' links to ../examples/ lead somewhere in the archive too.
e2e_check "docs/cmake.md's example is where its link points" \
  test -d "$prefix/share/doc/plinth/docs/../examples/cmake-app"
# The notices that the stub carries are THIRD-PARTY-NOTICES' first section, word for word.
e2e_check "THIRD-PARTY-NOTICES holds the stub's notices" python3 -c '
import sys
notices = open(sys.argv[1], encoding="utf-8").read()
sys.exit(0 if notices in open(sys.argv[2], encoding="utf-8").read() else 1)' \
  "$src/runtime/resources/notices.txt" "$prefix/share/doc/plinth/THIRD-PARTY-NOTICES"
"$prefix/bin/plinth-pack" inspect --notices "$prefix/share/plinth/plinth-setup.exe" >"$work/notices.txt"
e2e_assert_same_file "the archive's stub prints its notices" "$src/runtime/resources/notices.txt" "$work/notices.txt"
e2e_assert_same_file "the archive's stub is the built one" "$E2E_SETUP_EXE" "$prefix/share/plinth/plinth-setup.exe"
e2e_assert_absent "$prefix/bin/plinth-pack.exe"

# Needs glibc alone: no C++ runtime, zlib or compressor library to install first, and no symbol
# newer than glibc 2.35 (Ubuntu 22.04; Debian 12 has 2.36).
needed=$(readelf -d "$prefix/bin/plinth-pack" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
others=$(tr ' ' '\n' <<<"$needed" | grep -v -E '^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|)$' || true)
e2e_assert_eq "the packer needs only glibc's libraries (it needs: $needed)" "" "$others"
newest=$(objdump -T "$prefix/bin/plinth-pack" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -n 1)
e2e_check "the newest glibc symbol version ($newest) is at most 2.35" \
  test "$(printf '%s\n' "$newest" 2.35 | sort -V | tail -n 1)" == 2.35
e2e_check "the packer has all three compressors" \
  grep -q 'Compressors in this build: zlib, libdeflate, zopfli' <("$prefix/bin/plinth-pack" --help)

e2e_assert_eq "plinth-pack --version is the project's version" "plinth-pack $version" \
  "$("$prefix/bin/plinth-pack" --version)"
e2e_assert_eq "--help names the prefix's stub first" "  $prefix/share/plinth/plinth-setup.exe" \
  "$("$prefix/bin/plinth-pack" --help | grep -A1 '^Without --stub' | tail -n 1)"

# Packs with no --stub, from another folder, taking the prefix's stub.
cp "$E2E_SAMPLE_MANIFEST" "$E2E_SAMPLE_EXE" "$work/"
(cd "$work" && "$prefix/bin/plinth-pack" build --manifest app.json --app PlinthSample.exe \
  --compressor zlib --out linux-Setup.exe >"$work/pack-linux.log" 2>&1)
e2e_check "the extracted packer packs the sample without --stub" test -f "$work/linux-Setup.exe"
e2e_assert_eq "it took the stub of its own prefix" "  stub:  $prefix/share/plinth/plinth-setup.exe" \
  "$(grep '^  stub:' "$work/pack-linux.log")"

# The stub's version record carries the project's version, read back by windres.
record=$(x86_64-w64-mingw32-windres -i "$prefix/share/plinth/plinth-setup.exe" -O rc 2>/dev/null)
v=${version//./, }
for line in "FILEVERSION $v, 0" "PRODUCTVERSION $v, 0" "VALUE \"FileVersion\", \"$version\"" \
    "VALUE \"ProductVersion\", \"$version\"" 'VALUE "OriginalFilename", "plinth-setup.exe"'; do
  e2e_check "the stub's version record has: $line" grep -qxF -- "$line" <(sed 's/^ *//' <<<"$record")
done

# --- The Windows archive: its plinth-pack.exe finds ../share/plinth/plinth-setup.exe too.
windows="$work/unpacked windows"
mkdir -p "$windows"
(cd "$windows" && unzip -q "$work/dist1/${files[1]}") || e2e_die "Can't extract ${files[1]}."
wprefix="$windows/plinth-$version"
for file in bin/plinth-pack.exe share/plinth/plinth-setup.exe share/plinth/app-manifest.schema.json \
    share/doc/plinth/README.md share/doc/plinth/LICENSE share/doc/plinth/THIRD-PARTY-NOTICES \
    share/doc/plinth/examples/cmake-app/CMakeLists.txt lib/cmake/plinth/plinthConfig.cmake lib/cmake/plinth/plinth_stage.cmake; do
  e2e_assert_file "$wprefix/$file"
done
pushd "$work" >/dev/null || e2e_die "Can't enter $work."
e2e_run "$wprefix/bin/plinth-pack.exe" build --manifest app.json --app PlinthSample.exe \
  --compressor zlib --out windows-Setup.exe
popd >/dev/null
e2e_assert_exit 0
e2e_check "it took the stub of its own prefix" grep -qiF 'share\plinth\plinth-setup.exe' "$E2E_STDOUT_FILE"
e2e_assert_same_file "the Windows packer, with its own stub, writes the Linux packer's installer" \
  "$work/linux-Setup.exe" "$work/windows-Setup.exe"

# --- The Debian package: the Linux archive's files under /usr, and a dependency on glibc only.
deb="$work/dist1/${files[2]}"
e2e_assert_eq "the package's name and version" "plinth-pack $version amd64" \
  "$(dpkg-deb --show --showformat='${Package} ${Version} ${Architecture}' "$deb")"
maintainer=$(dpkg-deb --field "$deb" Maintainer)
e2e_check "the package has a Maintainer with an address ($maintainer)" grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$maintainer"
e2e_check "no Debian package provides, replaces or is named plinth-pack" bash -c \
  "! apt-cache showpkg plinth-pack 2>/dev/null | grep -q . && ! apt-cache search --names-only '^plinth-pack\$' | grep -q ."
e2e_check "the package's copyright file is DEP-5" grep -qx \
  'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  <(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/plinth-pack/copyright)
# lintian: no error. Kept: no-manual-page (plinth-pack --help and the docs are its manual), and
# embedded-library zlib, overridden in the package (cmake/debian/lintian-overrides). This test
# packages the RelWithDebInfo build, so unstripped-binary-or-object is not asked about here:
# scripts/release links the release builds with -s.
lintian --no-tag-display-limit --suppress-tags unstripped-binary-or-object "$deb" >"$work/lintian.log" 2>&1
e2e_check "lintian reports no error on the package" bash -c "! grep -q '^E: ' '$work/lintian.log'"
grep '^[EW]: ' "$work/lintian.log" | sed 's/^/      lintian: /' >&2 || true
e2e_check "the package depends on libc6 only" \
  grep -qxE 'libc6 \(>= 2\.[0-9]+\)' <(dpkg-deb --show --showformat='${Depends}\n' "$deb")
deb_files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $NF }' | sed 's,^\./usr/,,' |
  grep -v -e '^share/doc/plinth-pack/' -e '^share/lintian/' | sort)
tar_files=$(cd "$prefix" && find . -type f | sed 's,^\./,,' | sort)
e2e_assert_eq "the package holds the Linux archive's files (and its own copyright, changelog and lintian overrides)" "$tar_files" "$deb_files"

# --- examples/cmake-app against an extracted prefix, with the steps of docs/ci.md's workflow.
# ci_step NAME: the script of the workflow step NAME, as written in docs/ci.md.
ci_step() {
  awk -v step="$1" '
    /^      - name: / { name = substr($0, index($0, ": ") + 2); inrun = 0; next }
    name == step && /^        run: \|$/ { inrun = 1; next }
    inrun && /^          / { print substr($0, 11); next }
    inrun { inrun = 0 }' "$src/docs/ci.md"
}
app_src="$work/cmake-app"
cp -r "$src/examples/cmake-app" "$app_src"
cp "$work/dist1/${files[0]}" "$app_src/"
ci_temp="$work/runner temp"
mkdir -p "$ci_temp"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=plinth-test" >/dev/null 2>&1 || e2e_die "openssl could not make a certificate."
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/codesign.pfx" \
  -passout pass:throwaway >/dev/null 2>&1 || e2e_die "openssl could not make a .pfx file."
for step in "Unpack plinth" "Build and pack" "Sign"; do
  script=$(ci_step "$step")
  [[ -n "$script" ]] || e2e_die "docs/ci.md has no step '$step' with a run script."
  (
    cd "$app_src" &&
    RUNNER_TEMP=$ci_temp PLINTH_VERSION=$version CODESIGN_PASSWORD=throwaway TIMESTAMP_URL= \
      CODESIGN_PFX=$(base64 -w0 "$work/codesign.pfx") bash -e -c "$script"
  ) >"$work/ci-step.log" 2>&1
  status=$?
  e2e_assert_eq "the workflow step '$step' succeeds" 0 "$status"
  [[ $status -eq 0 ]] || { sed 's/^/      /' "$work/ci-step.log"; e2e_die "Can't go on without it."; }
  cat "$work/ci-step.log" >>"$work/ci.log"
done
ci_prefix="$ci_temp/plinth-$version"
e2e_check "the installer was packed by the unpacked packer with its own stub" \
  grep -qF "stub:  $ci_prefix/share/plinth/plinth-setup.exe" "$work/ci.log"
e2e_assert_absent "$ci_temp/codesign.pfx"
# "Verify" as written trusts the system's authorities only: the throwaway certificate fails it.
(cd "$app_src" && bash -e -c "$(ci_step Verify)") >"$work/verify-system.log" 2>&1
e2e_assert_eq "the workflow step 'Verify' refuses a certificate no authority issued" 1 "$(( $? != 0 ))"
e2e_check "docs/ci.md has no placeholder left for the reader" bash -c "! grep -q OWNER '$src/docs/ci.md'"
osslsigncode verify -CAfile "$work/cert.pem" -in "$app_src/hello-Setup.exe" >"$work/verify.log" 2>&1
e2e_check "the signed installer verifies" grep -q 'Signature verification: ok' "$work/verify.log"

# The installer is part of the build: nothing to do when nothing changed, packed again when the
# icon or the manifest changes.
e2e_check "a second build has nothing to do" grep -q 'no work to do' <(cmake --build "$app_src/build" 2>&1)
touch "$app_src/app.ico"
e2e_check "a changed icon packs again" grep -q 'Packing hello' <(cmake --build "$app_src/build" 2>&1)
sed -i 's/"Hello CMake"/"Hello CMake!"/' "$app_src/app.json.in"
e2e_check "a changed manifest packs again" grep -q 'Packing hello' <(cmake --build "$app_src/build" 2>&1)
e2e_check "the new installer carries the new name" \
  grep -qF 'Hello CMake!' <("$prefix/bin/plinth-pack" inspect "$app_src/build/hello-Setup.exe")

# remove_quietly KEY: runs the entry's QuietUninstallString as Windows does, the quoted program
# and then its switches; it exits 0 and takes the entry away.
remove_quietly() {
  e2e_reg_value "$1" QuietUninstallString || e2e_die "No QuietUninstallString."
  local quiet=$E2E_REG_DATA program switches
  program=${quiet#\"}
  program=${program%%\"*}
  read -r -a switches <<<"${quiet#\""$program"\"}"
  e2e_run "$program" "${switches[@]}"
  e2e_assert_exit 0
  e2e_assert_reg_absent "$1"
}

# Installs and removes silently under Wine.
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthExample.HelloCMake'
e2e_run "$app_src/hello-Setup.exe" /S   # the signed one
e2e_assert_exit 0
e2e_assert_reg "$uninstall_key" DisplayVersion REG_SZ 1.2.0
e2e_reg_value "$uninstall_key" InstallLocation || e2e_die "No InstallLocation after the install."
install_dir=$(e2e_unix_path "$E2E_REG_DATA")
e2e_assert_same_file "hello.exe is installed as built" "$app_src/build/hello.exe" "$install_dir/hello.exe"
remove_quietly "$uninstall_key"
e2e_check "the install folder goes after the uninstaller exits" e2e_wait_until 15 test ! -e "$install_dir"

# --- examples/cmake-folder-app against the Debian package's files: an exe, its DLL, the compiler's
# runtime DLLs and a data folder, staged and packed by the build; installed, run and removed.
deb_root="$work/deb root"
dpkg-deb -x "$deb" "$deb_root" || e2e_die "Can't extract $deb."
folder_src="$work/cmake-folder-app"
cp -r "$src/examples/cmake-folder-app" "$folder_src"
folder_build="$folder_src/build"
(cd "$folder_src" && cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE=mingw-w64.cmake \
  "-Dplinth_DIR=$deb_root/usr/lib/cmake/plinth" && cmake --build build) >"$work/folder-app.log" 2>&1
status=$?
e2e_assert_eq "examples/cmake-folder-app configures and builds" 0 "$status"
[[ $status -eq 0 ]] || { tail -n 20 "$work/folder-app.log" | sed 's/^/      /'; e2e_die "Can't go on without it."; }
e2e_assert_eq "its app folder: the exe, its DLL, the compiler's DLLs and the data" \
  "data/greeting.txt greet.exe libgcc_s_seh-1.dll libgreeting.dll libstdc++-6.dll libwinpthread-1.dll " \
  "$(cd "$folder_build/greet-app" && find . -type f | sed 's,^\./,,' | sort | tr '\n' ' ')"
e2e_check "a second build has nothing to do" grep -q 'no work to do' <(cmake --build "$folder_build" 2>&1)
printf 'Hello again, from a changed data file.\n' >"$folder_src/data/greeting.txt"
e2e_check "a changed data file packs again" grep -q 'Packing greet' <(cmake --build "$folder_build" 2>&1)

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthExample.Greet'
e2e_run "$folder_build/greet-Setup.exe" /S
e2e_assert_exit 0
e2e_reg_value "$uninstall_key" InstallLocation || e2e_die "No InstallLocation after the install."
install_dir=$(e2e_unix_path "$E2E_REG_DATA")
report="$E2E_USER_DIR/Temp/greet-report.txt"
e2e_run "$install_dir/greet.exe" "$(e2e_win_path "$report")"
e2e_assert_exit 0
e2e_assert_file_bytes "the installed app loads its DLLs and reads the changed data file" "$report" \
  $'Hello again, from a changed data file.\n'
remove_quietly "$uninstall_key"
e2e_check "the app's folder goes after the uninstaller exits" e2e_wait_until 15 test ! -e "$install_dir"
