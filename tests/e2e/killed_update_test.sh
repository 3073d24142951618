#!/bin/bash
# An app of 160 small files (v1) is installed, then v2's silent install is killed at random
# moments (a fixed seed), as a power cut or a logoff would end it. After each kill the
# install folder holds all of v1 or all of v2, files and bytes alike; the one window where it
# may hold both is the swap, when every new file is written and they are renamed into place
# (each folder whole: the old one moved aside, the staged one renamed in), and then what is
# still to go waits under its staged name. A rerun of v2 converges on v2.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup packer sample wine
e2e_prefix
folder="$E2E_PROGRAMS_DIR/Plinth Sample"
kills=${PLINTH_E2E_KILLS:-20}
RANDOM=2207  # the kill moments are the same on every run

# v1: 160 files in 10 folders; v2 changes every kept file, drops a quarter and adds 30. The
# exe differs too (an overlay).
make_app() {  # VERSION FOLDER FIRST LAST
  local version=$1 dir=$2 i
  mkdir -p "$dir" || e2e_die "Can't make $dir."
  cp "$E2E_SAMPLE_EXE" "$dir/PlinthSample.exe"
  printf 'version %s' "$version" >>"$dir/PlinthSample.exe"
  for ((i = $3; i <= $4; i++)); do
    mkdir -p "$dir/part$((i % 10))"
    printf 'file %d of version %s\n%0500d\n' "$i" "$version" 0 >"$dir/part$((i % 10))/file$i.txt"
  done
}
make_app 1 "$E2E_WORK/app-v1" 1 160
make_app 2 "$E2E_WORK/app-v2" 41 190
pack() {  # VERSION APP_FOLDER OUT
  jq --arg version "$1" '.version = $version' "$E2E_SAMPLE_MANIFEST" >"$E2E_WORK/app-$1.json" || e2e_die "jq failed."
  "$E2E_PACK" build --manifest "$E2E_WORK/app-$1.json" --app "$2" --stub "$E2E_SETUP_EXE" --out "$3" \
    >"$E2E_WORK/out/pack-$1.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}
setup_v1="$E2E_WORK/Setup 1.exe"
setup_v2="$E2E_WORK/Setup 2.exe"
pack 1.0 "$E2E_WORK/app-v1" "$setup_v1"
pack 2.0 "$E2E_WORK/app-v2" "$setup_v2"

# The installed files with their hashes; leftovers (*.old: moved aside or staged, a file or a
# folder with all it holds) and empty folders aside.
snapshot() { (cd "$folder" && find . -name '*.old' -prune -o -type f -printf '%P\0' | sort -z | xargs -0 -r sha1sum); }
# What the swap works with: staged files and folders, and folders moved aside whole.
staged_count() { find "$folder" \( -name '*.new.old' -o -type d -name '*.[0-9]*.old' \) -prune -print | wc -l; }

e2e_run "$setup_v1" /S
e2e_assert_exit 0
state_v1=$(snapshot)
started=$(date +%s%N)
e2e_run "$setup_v2" /S
e2e_assert_exit 0
run_ms=$((($(date +%s%N) - started) / 1000000))
state_v2=$(snapshot)
e2e_assert_eq "v2 holds its 150 files, the exe and uninstall.exe" 152 "$(printf '%s\n' "$state_v2" | wc -l)"
e2e_log "an update takes $run_ms ms"

# Each kill stops an update from one version to the other: v1 to v2, and, once a rerun has
# finished v2, v2 back to v1 (the same steps), so that no kill waits for a clean reinstall.
old=0 new=0 swapping=0
from=1 to=2
declare -A state=([1]="$state_v1" [2]="$state_v2")
declare -A setup=([1]="$setup_v1" [2]="$setup_v2")
for ((kill = 1; kill <= kills; kill++)); do
  at_ms=$((RANDOM % (run_ms + run_ms / 10)))
  "$E2E_WINE" "${setup[$to]}" /S </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((at_ms / 1000)) $((at_ms % 1000)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  # Nothing goes on after the kill: the folder settles as the kill left it. The server closes
  # the dead process's handles a moment after it is reaped (a delete-on-close handle then takes
  # its file with it, as on Windows), so it is given up to 9 s to settle
  # (a loaded machine is slow at it).
  now=$(snapshot)
  for ((tries = 0; tries < 30; tries++)); do
    sleep 0.3
    before=$now
    now=$(snapshot)
    [[ "$now" == "$before" && -z "$(pgrep -f "Setup $to.exe")" ]] && break
  done
  [[ "$now" == "$before" && -z "$(pgrep -f "Setup $to.exe")" ]] || e2e_fail "kill $kill: the installer went on"
  if [[ "$now" == "${state[$from]}" ]]; then
    old=$((old + 1))
    continue
  elif [[ "$now" == "${state[$to]}" ]]; then
    new=$((new + 1))
  elif [[ $(staged_count) -gt 0 ]]; then
    swapping=$((swapping + 1))
    e2e_log "kill $kill ($from to $to) at $at_ms ms: inside the swap"
  else
    e2e_fail "kill $kill ($from to $to) at $at_ms ms left a mixed app" \
      "$(diff <(printf '%s\n' "${state[$from]}") <(printf '%s\n' "$now") | head -n 5)"
  fi
  # A rerun converges; the next kill goes the other way.
  e2e_run "${setup[$to]}" /S
  [[ $E2E_RC == 0 && "$(snapshot)" == "${state[$to]}" ]] ||
    e2e_fail "kill $kill: the rerun doesn't converge" "exit code $E2E_RC; standard error: $(head -c 300 "$E2E_STDERR_FILE")"
  from=$to to=$((3 - to))
done
# The swap is two renames per folder of the app's own and a rename per file at the root, so at
# most one kill in 20 lands in it; what is checked first is that none lands elsewhere.
e2e_log "$kills kills: $old left the version before, $new the version after, $swapping stopped inside the swap"
e2e_assert_eq "every kill left one version whole, or a swap to complete" $kills $((old + new + swapping))

e2e_log "-- a last run of v2 leaves no leftover"
e2e_run "$setup_v2" /S
e2e_assert_exit 0
e2e_assert_eq "v2 exactly" "$state_v2" "$(snapshot)"
e2e_assert_eq "no staged or moved-aside file or folder" "" "$(cd "$folder" && find . -name '*.old')"
