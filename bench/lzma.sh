# Sourced by bench/run: LZMA, the opt-in compression (plinth-pack build --compression lzma).
#  - 50 MB of exe code (the sample exe with Wine's own x86-64 DLLs after its image) against NSIS 3
#    (Debian's makensis: Target amd64-unicode, SetCompressor /SOLID lzma, the same file, an
#    uninstaller, a shortcut and an uninstall entry, RequestExecutionLevel user): the installers'
#    sizes, and their silent installs under Wine, alternated, medians; the same install against
#    its floor (bench/floor.c: decode the same stream on one thread and write it, copy the
#    installer).
#  - A folder of real PE code (Wine's 25 largest x86-64 DLLs, 182 MiB) packed with LZMA
#    against the same folder packed as today (the default deflate compressor).
#  - The updates through a map (bench/delta.sh), every installer packed with LZMA.

LZ=$WORK/lzma
mkdir -p "$LZ"
command -v makensis >/dev/null || die "makensis is missing: install nsis (scripts/debian-packages)"
sample=$ROOT/build/windows/examples/sample-app/PlinthSample.exe
[[ -f $sample ]] || die "missing $sample (cmake --build --preset windows --target PlinthSample.exe)"

say "LZMA: packing 50 MB of exe code with LZMA, with deflate and with NSIS ..."
make_payload 50 "$WORK/data/app-50.exe"
cat "$sample" "$WORK/data/app-50.exe" >"$LZ/LzmaBench.exe"
jq -n '{name: "LZMA Bench", id: "LzmaBench", version: "1.0", publisher: "Plinth Bench", exe: "LzmaBench.exe"}' \
  >"$LZ/app.json" || die "jq failed"
# pack_timed OUT ARGS...: sets PACKED_MS.
pack_timed() {
  local out=$1 start; shift
  start=$(now_ns)
  "$PACK" build --manifest "$LZ/app.json" --stub "$STUB" --out "$out" --quiet "$@" || die "plinth-pack failed for $out"
  PACKED_MS=$((($(now_ns) - start) / 1000000))
}
pack_timed "$LZ/setup-lzma.exe" --app "$LZ/LzmaBench.exe" --compression lzma
lzma_pack_ms=$PACKED_MS
pack_timed "$LZ/setup-deflate.exe" --app "$LZ/LzmaBench.exe"
deflate_pack_ms=$PACKED_MS
cat >"$LZ/bench.nsi" <<NSI
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
Name "NSIS Bench"
OutFile "$LZ/setup-nsis.exe"
InstallDir "\$LOCALAPPDATA\\Programs\\NSIS Bench"
Section
  SetOutPath "\$INSTDIR"
  File "$LZ/LzmaBench.exe"
  WriteUninstaller "\$INSTDIR\\uninstall.exe"
  CreateShortcut "\$SMPROGRAMS\\NSIS Bench.lnk" "\$INSTDIR\\LzmaBench.exe"
  WriteRegStr HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench" "DisplayName" "NSIS Bench"
  WriteRegStr HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench" "DisplayVersion" "1.0"
  WriteRegStr HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench" "Publisher" "Plinth Bench"
  WriteRegStr HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench" "InstallLocation" "\$INSTDIR"
  WriteRegStr HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench" "UninstallString" '"\$INSTDIR\\uninstall.exe"'
  WriteRegStr HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench" "QuietUninstallString" '"\$INSTDIR\\uninstall.exe" /S'
SectionEnd
Section "Uninstall"
  Delete "\$INSTDIR\\LzmaBench.exe"
  Delete "\$INSTDIR\\uninstall.exe"
  RMDir "\$INSTDIR"
  Delete "\$SMPROGRAMS\\NSIS Bench.lnk"
  DeleteRegKey HKCU "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NSISBench"
SectionEnd
NSI
start=$(now_ns)
makensis -V1 "$LZ/bench.nsi" >"$LZ/makensis.log" 2>&1 || die "makensis failed: $(cat "$LZ/makensis.log")"
nsis_pack_ms=$((($(now_ns) - start) / 1000000))

lzma_size=$(stat -c %s "$LZ/setup-lzma.exe")
deflate_size=$(stat -c %s "$LZ/setup-deflate.exe")
nsis_size=$(stat -c %s "$LZ/setup-nsis.exe")
row "LZMA 50 MB exe code: installer size" "$lzma_size B" "NSIS solid LZMA $nsis_size B: x$(ratio "$lzma_size" "$nsis_size") (<= 1.15)" \
  "$(verdict "$(ratio "$lzma_size" "$nsis_size")" 1.15)"
row "  the same packed with deflate (today)" "$deflate_size B" "x$(ratio "$deflate_size" "$nsis_size") of NSIS's" "(report)"
row "  pack time: LZMA / deflate / makensis" "$lzma_pack_ms ms" "$deflate_pack_ms ms / $nsis_pack_ms ms" "(report)"

# Where the exe's stream lies in the installer, for the floor: after the package's manifest; its
# length from plinth-pack inspect.
lzma_length=$("$PACK" inspect "$LZ/setup-lzma.exe" | awk '$1 == "compressed:" { print $2 }')
lzma_offset=$(python3 - "$LZ/setup-lzma.exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(b"PLNSETUP")
while at >= 0:
    payload = at + 12 + struct.unpack_from("<I", data, at + 8)[0]
    if data[payload:payload + 4] == b"LZMA":
        print(payload)
        break
    at = data.find(b"PLNSETUP", at + 1)
PY
)
[[ -n $lzma_offset && -n $lzma_length ]] || die "can't find the LZMA stream in $LZ/setup-lzma.exe"

say "LZMA: silent installs of 50 MB, plinth (LZMA), NSIS and the floor, alternated ($RUNS runs) ..."
plinth_dir="$programs_dir/LZMA Bench"
nsis_dir=$E2E_LOCALAPPDATA/Programs/NSIS\ Bench
: >"$LZ/plinth.txt"; : >"$LZ/nsis.txt"; : >"$LZ/floor.txt"
for ((i = 0; i < RUNS; i++)); do
  rm -rf "$nsis_dir"
  run_timed "$LZ/setup-nsis.exe" /S
  [[ $T_RC -eq 0 ]] || die "the NSIS install failed ($T_RC)"
  echo "$T_MS" >>"$LZ/nsis.txt"
  rm -rf "$plinth_dir"
  run_timed "$LZ/setup-lzma.exe" /S
  [[ $T_RC -eq 0 ]] || die "the LZMA install failed ($T_RC): $(cat "$WORK/out/run.stderr")"
  echo "$T_MS" >>"$LZ/plinth.txt"
  rm -f "$LZ/floor-app.exe" "$LZ/floor-copy.exe"
  run_timed "$WORK/bin/floor.exe" "$(win_path "$LZ/setup-lzma.exe")" "$lzma_offset" "$lzma_length" \
    "$(win_path "$LZ/floor-app.exe")" "$(win_path "$LZ/floor-copy.exe")"
  [[ $T_RC -eq 0 ]] || die "the LZMA floor failed: $(cat "$WORK/out/run.stderr")"
  echo "$T_MS" >>"$LZ/floor.txt"
done
cmp -s "$LZ/LzmaBench.exe" "$plinth_dir/LzmaBench.exe" || die "plinth installed other bytes"
cmp -s "$LZ/LzmaBench.exe" "$nsis_dir/LzmaBench.exe" || die "NSIS installed other bytes"
cmp -s "$LZ/LzmaBench.exe" "$LZ/floor-app.exe" || die "the LZMA floor wrote other bytes"
plinth_ms=$(median <"$LZ/plinth.txt"); nsis_ms=$(median <"$LZ/nsis.txt"); floor_ms=$(median <"$LZ/floor.txt")
row "LZMA 50 MB exe code: silent install" "$plinth_ms ms" "NSIS $nsis_ms ms: x$(ratio "$plinth_ms" "$nsis_ms") (<= 0.7)" \
  "$(verdict "$(ratio "$plinth_ms" "$nsis_ms")" 0.7)"
row "  against its floor (decode and write)" "$plinth_ms ms" "floor $floor_ms ms: x$(ratio "$plinth_ms" "$floor_ms") (<= 1.25)" \
  "$(verdict "$(ratio "$plinth_ms" "$floor_ms")" 1.25)"
rm -rf "$plinth_dir" "$nsis_dir"
"$BENCH_WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\NSISBench' /f >/dev/null 2>&1
"$BENCH_WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\LzmaBench' /f >/dev/null 2>&1

say "LZMA: a folder of Wine's 25 largest DLLs, LZMA against deflate ..."
pe_folder=$LZ/pe-folder
if [[ ! -f $pe_folder/LzmaBench.exe ]]; then
  rm -rf "$pe_folder"; mkdir -p "$pe_folder/lib"
  find /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -maxdepth 1 -name '*.dll' -printf '%s %p\n' | sort -k1,1nr -k2 |
    head -25 | while read -r _ dll; do cp "$dll" "$pe_folder/lib/"; done
  cp "$sample" "$pe_folder/LzmaBench.exe"
fi
pe_bytes=$(du -sb "$pe_folder" | cut -f1)
pack_timed "$LZ/folder-lzma.exe" --app "$pe_folder" --compression lzma
pack_timed "$LZ/folder-deflate.exe" --app "$pe_folder"
folder_lzma=$(stat -c %s "$LZ/folder-lzma.exe"); folder_deflate=$(stat -c %s "$LZ/folder-deflate.exe")
row "LZMA folder of PE code ($(mib "$pe_bytes"))" "$folder_lzma B" \
  "today's deflate $folder_deflate B: x$(ratio "$folder_lzma" "$folder_deflate") (<= 0.80)" \
  "$(verdict "$(ratio "$folder_lzma" "$folder_deflate")" 0.80)"

row "updates through a map, packed with LZMA:" "" "" ""
DELTA_COMPRESSION=lzma
# shellcheck source=delta.sh
source "$BENCH_DIR/delta.sh"
unset DELTA_COMPRESSION
