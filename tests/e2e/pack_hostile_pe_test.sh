#!/bin/bash
# The real packer on crafted stubs, app exes and icon files: resource directories that share
# subdirectories (with short and with long names), leaves that share one blob, icon entries
# that share one large image, icon ids that run out, a resource section inside the headers,
# and an input too large for the memory left. Under a 2 GiB address-space limit, each run ends
# with exit 1 and a "plinth-pack:" line, having written nothing, or with an installer that
# reads back. A hang guard stops a run after 60 s (a failure); the times are printed.
# e2e-no-prefix
# e2e-timeout: 400
source "$(dirname "$0")/lib.sh"
e2e_require packer
craft=$(dirname "$E2E_PACK")/craft_hostile_pe
[[ -x "$craft" ]] || e2e_die "$craft isn't built: build the host preset."

E2E_WORK=$(mktemp -d) || e2e_die "mktemp failed."
in=$E2E_WORK/in
out=$E2E_WORK/out
mkdir -p "$in" "$out"
"$craft" "$in" || e2e_die "craft_hostile_pe failed."
printf '{"name": "Notes", "id": "com.example.notes", "version": "1.0", "exe": "Notes.exe"}' >"$in/app.json"
setup=$out/Setup.exe

# run LIMIT_KB ARGS...: the packer under an address-space limit; sets rc and seconds.
run() {
  local limit=$1 start
  shift
  start=$(date +%s%N)
  (ulimit -v "$limit" && exec timeout 60 "$E2E_PACK" "$@") >"$E2E_WORK/stdout" 2>"$E2E_WORK/stderr"
  rc=$?
  seconds=$(awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.2f", ns / 1e9 }')
}

# refused DESCRIPTION TEXT [LIMIT_KB] -- ARGS...: exit 1, one "plinth-pack:" line saying TEXT,
# and nothing written.
refused() {
  local desc=$1 text=$2 limit=2097152
  shift 2
  if [[ $1 != -- ]]; then limit=$1; shift; fi
  shift
  run "$limit" "$@"
  e2e_log "$desc: exit $rc after $seconds s"
  e2e_assert_eq "$desc: exit code" 1 "$rc"
  e2e_check "$desc: a plinth-pack line" grep -q "^plinth-pack: " "$E2E_WORK/stderr"
  e2e_check "$desc: says why ($text)" grep -qF -- "$text" "$E2E_WORK/stderr"
  e2e_assert_eq "$desc: nothing written" "" "$(ls -A "$out")"
  rm -f "$out"/*
}

# built DESCRIPTION TEXT ARGS...: exit 0 with TEXT in the summary, and the installer inspects
# (under the same limit).
built() {
  local desc=$1 text=$2
  shift 2
  run 2097152 "$@"
  e2e_log "$desc: exit $rc after $seconds s"
  e2e_assert_eq "$desc: exit code" 0 "$rc"
  e2e_check "$desc: the summary says \"$text\"" grep -qF -- "$text" "$E2E_WORK/stdout"
  run 2097152 inspect "$setup"
  e2e_log "$desc: inspect of the installer: exit $rc after $seconds s"
  e2e_assert_eq "$desc: the installer inspects" 0 "$rc"
  e2e_check "$desc: the installer holds the app" grep -qF 'name:       "Notes"' "$E2E_WORK/stdout"
  rm -f "$out"/*
}

build=(build --manifest "$in/app.json" --out "$setup")
shared="shared or loop back"
for variant in shared-dirs shared-dirs-long-names; do
  refused "$variant as the stub" "$shared" -- "${build[@]}" --app "$in/app.exe" --stub "$in/$variant.exe"
  refused "$variant inspected" "$shared" -- inspect "$in/$variant.exe"
  # An app whose resources can't be read gets the stub's icon.
  built "$variant as the app" "the stub's default icon" "${build[@]}" --app "$in/$variant.exe" --stub "$in/stub.exe"
done
refused "leaves sharing one blob, inspected" "more bytes than the file holds" -- inspect "$in/shared-blob.exe"
refused "icon file whose entries share one image" "add up to more than 16 MiB" -- \
  "${build[@]}" --app "$in/app.exe" --stub "$in/stub.exe" --icon "$in/shared-image.ico"
refused "app whose icon group shares one image" "The app's icon can't be used" -- \
  "${build[@]}" --app "$in/app-shared-icon.exe" --stub "$in/stub.exe"
refused "icon ids run out (icons 2 and 3 kept)" "icon ids are free" -- \
  "${build[@]}" --app "$in/app.exe" --stub "$in/stub-icons-2-3.exe" --icon "$in/many-images.ico"
refused "icon ids run out (icon 65535 kept)" "icon ids are free" -- \
  "${build[@]}" --app "$in/app.exe" --stub "$in/stub-icon-65535.exe" --icon "$in/many-images.ico"
refused "65536 icons in one directory" "too many resources in one directory" -- \
  "${build[@]}" --app "$in/app.exe" --stub "$in/stub-icon-0.exe" --icon "$in/many-images.ico"
refused "resource section inside the headers" "starts inside the headers" -- \
  "${build[@]}" --app "$in/app.exe" --stub "$in/stub-resources-in-headers.exe"
refused "resource section inside the headers, raw" "starts inside the headers" -- \
  raw --package "$in/app.json" --stub "$in/stub-resources-in-headers.exe" --out "$setup"
built "65535 icons sharing one small image" "from the icon file" "${build[@]}" --app "$in/app.exe" --stub "$in/stub.exe" --icon "$in/many-images.ico"

# An app larger than the memory left: a sparse file, so the disk isn't filled.
truncate -s 1536M "$in/large.exe" || e2e_die "truncate failed."
refused "app larger than the memory left" "out of memory" 1048576 -- \
  "${build[@]}" --app "$in/large.exe" --stub "$in/stub.exe"
