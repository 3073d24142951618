#!/bin/bash
# What an installer refuses to touch, under Wine: URL schemes whose class keys are another
# program's (the user's or the machine's) are left out at install and left whole at removal, and
# of its own scheme the removal deletes only what it wrote; a /log= naming the app's exe is never
# opened (the exe keeps its bytes, the exit code is the one without /log); a /log= with a quote
# is refused before anything runs; and the packer refuses a translated text with a NUL.
# e2e-timeout: 180
source "$(dirname "$0")/lib.sh"
e2e_require setup sample packer
e2e_prefix

classes='HKCU\Software\Classes'
folder="$E2E_PROGRAMS_DIR/Plinth Sample"
win_folder=$(e2e_win_path "$folder")
app="$win_folder\\PlinthSample.exe"

# The packer: a text with a NUL would shift every later text onto the next message's place.
printf '{"eo": {"install.button": "Instali\\u0000nun"}}' >"$E2E_WORK/texts.json"
manifest="$E2E_WORK/app.json"
jq '.protocols = ["plinthtaken", "plinthmachine", "plinthown"] | .languages = ["eo"]' "$E2E_SAMPLE_MANIFEST" \
  >"$manifest" || e2e_die "Can't write $manifest."
setup="$E2E_WORK/Sample Setup.exe"
"$E2E_PACK" build --manifest "$manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" \
  --texts "$E2E_WORK/texts.json" --out "$setup" >"$E2E_WORK/out/pack-nul.log" 2>&1
e2e_assert_eq "the packer refuses a text with a NUL: exit code" 1 "$?"
e2e_check "it names the language, the key and where the NUL is" grep -qF \
  'eo: "install.button" has the control character U+0000 at character 8;' "$E2E_WORK/out/pack-nul.log"
e2e_assert_absent "$setup"

jq '.protocols = ["plinthtaken", "plinthmachine", "plinthown"]' "$E2E_SAMPLE_MANIFEST" >"$manifest" ||
  e2e_die "Can't write $manifest."
"$E2E_PACK" build --manifest "$manifest" --app "$E2E_SAMPLE_EXE" --stub "$E2E_SETUP_EXE" --out "$setup" \
  >"$E2E_WORK/out/pack.log" 2>&1 || e2e_die "The packer failed: $(cat "$E2E_WORK/out/pack.log")"

# Another program's per-user URL protocol, and a class only the machine has.
e2e_wine reg add "$classes\\plinthtaken" /v "URL Protocol" /d "" /f
e2e_wine reg add "$classes\\plinthtaken" /v Other /d keep /f
e2e_wine reg add "$classes\\plinthtaken\\shell\\open\\command" /ve /d '"C:\other.exe" "%1"' /f
e2e_wine reg add 'HKLM\Software\Classes\plinthmachine\shell\find' /ve /d machine /f
before_taken=$(e2e_reg_dump "$classes\\plinthtaken")

log="$E2E_WORK/install.log"
e2e_run "$setup" /S "/log=$(e2e_win_path "$log")"
e2e_assert_exit 0
e2e_assert_reg "$classes\\plinthown\\shell\\open\\command" '' REG_SZ "\"$app\" \"%1\""
e2e_assert_eq "another program's scheme is left as it was" "$before_taken" "$(e2e_reg_dump "$classes\\plinthtaken")"
e2e_assert_reg_absent "$classes\\plinthmachine"
e2e_assert_reg 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PlinthSample' UrlProtocols REG_SZ plinthown
for scheme in plinthtaken plinthmachine; do
  e2e_check "the log says $scheme was left out" \
    grep -qF "Left out the URL scheme, whose key is another program's: $scheme" "$log"
done

# A log naming the app's exe is not opened: the reinstall replaces the exe as ever.
e2e_run "$setup" /S "/log=$app"
e2e_assert_exit 0
e2e_assert_same_file "the app's exe is the packed one, not grown by a log" "$E2E_SAMPLE_EXE" "$folder/PlinthSample.exe"
e2e_assert_file_bytes "nothing on standard error" "$E2E_STDERR_FILE" ""

# A quote in /log= would end the quotes around it when passed on: refused, nothing done.
e2e_run "$folder/uninstall.exe" /S '/log=C:\x.log" /uninstall "x'
e2e_assert_exit 1
e2e_check "the refusal says why" grep -qF 'setup: The /log= file name has a ", which no file name can have.' \
  "$E2E_STDERR_FILE"
e2e_assert_file "$folder/PlinthSample.exe"

# The removal deletes of its own scheme only what it wrote: a verb another program added stays.
e2e_wine reg add "$classes\\plinthown\\shell\\edit\\command" /ve /d '"C:\editor.exe" "%1"' /f
e2e_run "$folder/uninstall.exe" /uninstall /S "/log=$(e2e_win_path "$E2E_WORK/removal.log")"
e2e_assert_exit 0
e2e_wait_until 10 test ! -e "$folder/PlinthSample.exe"
e2e_assert_reg "$classes\\plinthown\\shell\\edit\\command" '' REG_SZ '"C:\editor.exe" "%1"'
e2e_assert_reg_absent "$classes\\plinthown" "URL Protocol"
e2e_assert_reg_absent "$classes\\plinthown\\shell\\open"
e2e_assert_reg_absent "$classes\\plinthown\\DefaultIcon"
e2e_assert_eq "another program's scheme survives the removal" "$before_taken" "$(e2e_reg_dump "$classes\\plinthtaken")"
e2e_assert_reg_absent "$classes\\plinthmachine"
