#!/bin/bash
# An app of a few hundred small files (v1) is installed, then v2's silent install is killed at
# random moments (a fixed seed), as a power cut or a logoff would end it. After each kill the
# install folder holds all of v1 or all of v2, files and bytes alike; the one window where it
# may hold both is the swap, when every new file is written and they are renamed into place, and
# then the files still to go wait under their staged names. A rerun of v2 converges on v2.
# e2e-timeout: 300
source "$(dirname "$0")/lib.sh"
e2e_require setup packer sample wine
e2e_prefix
folder="$E2E_PROGRAMS_DIR/Plinth Sample"
kills=${PLINTH_E2E_KILLS:-20}
RANDOM=2207  # the kill moments are the same on every run

# v1: 200 files in 10 folders; v2 changes every kept file, drops a quarter and adds 30. The
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
make_app 1 "$E2E_WORK/app-v1" 1 200
make_app 2 "$E2E_WORK/app-v2" 51 230
pack() {  # VERSION APP_FOLDER OUT
  jq --arg version "$1" '.version = $version' "$E2E_SAMPLE_MANIFEST" >"$E2E_WORK/app-$1.json" || e2e_die "jq failed."
  "$E2E_PACK" build --manifest "$E2E_WORK/app-$1.json" --app "$2" --stub "$E2E_SETUP_EXE" --out "$3" \
    >"$E2E_WORK/out/pack-$1.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack-$1.log")"
}
setup_v1="$E2E_WORK/Setup 1.exe"
setup_v2="$E2E_WORK/Setup 2.exe"
pack 1.0 "$E2E_WORK/app-v1" "$setup_v1"
pack 2.0 "$E2E_WORK/app-v2" "$setup_v2"

# The installed files with their hashes; leftovers (*.old: moved aside or staged) and empty
# folders aside.
snapshot() { (cd "$folder" && find . -type f ! -name '*.old' -printf '%P\0' | sort -z | xargs -0 -r sha1sum); }
staged_count() { find "$folder" -name '*.new.old' | wc -l; }

e2e_run "$setup_v1" /S
e2e_assert_exit 0
state_v1=$(snapshot)
started=$(date +%s%N)
e2e_run "$setup_v2" /S
e2e_assert_exit 0
run_ms=$((($(date +%s%N) - started) / 1000000))
state_v2=$(snapshot)
e2e_assert_eq "v2 holds its 180 files, the exe and uninstall.exe" 182 "$(printf '%s\n' "$state_v2" | wc -l)"
e2e_log "an update takes $run_ms ms"

old=0 new=0 swapping=0
for ((kill = 1; kill <= kills; kill++)); do
  at_ms=$((RANDOM % (run_ms + run_ms / 10)))
  "$E2E_WINE" "$setup_v2" /S </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((at_ms / 1000)) $((at_ms % 1000)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  now=$(snapshot)
  if [[ "$now" == "$state_v1" ]]; then
    old=$((old + 1))
    continue
  elif [[ "$now" == "$state_v2" ]]; then
    new=$((new + 1))
  elif [[ $(staged_count) -gt 0 ]]; then
    swapping=$((swapping + 1))
    e2e_log "kill $kill at $at_ms ms: inside the swap"
  else
    e2e_fail "kill $kill at $at_ms ms left a mixed app" "$(diff <(printf '%s\n' "$state_v1") <(printf '%s\n' "$now") | head -n 5)"
  fi
  # v2 again converges on v2; then back to v1 for the next kill.
  e2e_run "$setup_v2" /S
  [[ $E2E_RC == 0 && "$(snapshot)" == "$state_v2" ]] || e2e_fail "kill $kill: the rerun of v2 doesn't converge"
  e2e_run "$setup_v1" /S
  [[ $E2E_RC == 0 && "$(snapshot)" == "$state_v1" ]] || e2e_die "kill $kill: v1 didn't install again."
done
# The swap is a rename per file, as long as a fifth to a third of the writing under Wine on this
# machine, so a share of the kills lands in it; what is checked is that none lands elsewhere.
e2e_log "$kills kills: $old left v1, $new left v2, $swapping stopped inside the swap"
e2e_assert_eq "every kill left v1, v2, or a swap to complete" $kills $((old + new + swapping))

e2e_log "-- a last rerun of v2 leaves no leftover"
e2e_run "$setup_v2" /S
e2e_assert_exit 0
e2e_assert_eq "v2 exactly" "$state_v2" "$(snapshot)"
e2e_assert_eq "no staged or moved-aside file" "" "$(cd "$folder" && find . -name '*.old')"
