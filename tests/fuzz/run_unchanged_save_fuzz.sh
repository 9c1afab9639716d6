#!/usr/bin/env bash
# Builds the unchanged-save fuzzer (read, save, read, save, compare) with clang's libFuzzer and
# AddressSanitizer straight from the sources it needs and runs it for the given number of
# seconds (default 60).
#   tests/fuzz/run_unchanged_save_fuzz.sh [seconds] [work-folder]
# Exits non-zero when the build fails or the fuzzer finds a crash or a save that is not
# idempotent; the input is kept in the work folder. Replay one with
# "$work/unchanged_save_fuzz FILE".
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/unchanged-save-fuzz.XXXXXX")}"
mkdir -p "$work/corpus"
CXX="${CXX_FUZZ:-clang++}"

"$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" -I"$root/tests" \
  "$root/tests/fuzz/unchanged_save_fuzz.cpp" \
  "$root/src/driverconfig/text.cpp" \
  "$root/src/driverconfig/text_model.cpp" \
  "$root/src/driverconfig/feature_writer.cpp" \
  "$root/src/driverconfig/paper_catalogue.cpp" \
  "$root/src/driverconfig/paper_sizes.cpp" \
  "$root/src/driverconfig/capability_scan.cpp" \
  -o "$work/unchanged_save_fuzz"

# Seeds: a description whose PaperSize feature has a stray brace, an unknown size with a
# comment before its body and a default in another case, with its capabilities document.
{
  printf '%s\r\n' '*GPDFileVersion: "1.0"' '*Feature: PaperSize' '{' '*DefaultOption: MYPAPER' \
    '*Option: LETTER' '{' '*rcNameID: =RCID_DMPAPER_SYSTEM_NAME' \
    '*PrintSchemaKeywordMap: "NorthAmericaLetter"' '*PrintableOrigin: PAIR(0, 0)' \
    '*PrintableArea: PAIR(3886200, 5029200)' '}' '}' '*Option: myPaper' '*% mine' '{' \
    '*PrintSchemaKeywordMap: "MyPaper"' '*PrintableArea: PAIR(1, 2)' '}' \
    '*Option: CUSTOMSIZE' '{' '*PrintableArea: PAIR(99999999999999, 2700000)' '}' '}' \
    '*% comment' '*Feature: Resolution' '{' '*DefaultOption: ResOption1' '*Option: ResOption1' \
    '{' '*DPI: PAIR(600, 600)' '}' '}'
  printf '\036'
  printf '%s\r\n' '<?xml version="1.0"?>' '<psf2:PrintDeviceCapabilities>' \
    '  <psk:PageMediaSize psf2:psftype="Feature">' \
    '    <ns0000:MyPaper psf2:psftype="Option">' '    </ns0000:MyPaper>' \
    '    <psk:UserDefinedSize psf2:psftype="Option" psf2:default="true">' \
    '    </psk:UserDefinedSize>' '  </psk:PageMediaSize>' '</psf2:PrintDeviceCapabilities>'
} > "$work/corpus/faults"
printf '%s\r\n' '*%' '*Feature: PaperSize' '{' '*DefaultOption: A4' '*Option: A4' '{' \
  '*PrintableArea: PAIR(3779901, 5345811)' '}' '}' '*Command: X { *Cmd: "}" }' > "$work/corpus/last"
cat > "$work/dictionary" <<'DICT'
"*Feature: "
"*Feature: PaperSize"
"*Option: "
"*DefaultOption: "
"*PrintableArea: PAIR("
"*PrintSchemaKeywordMap: \""
"CUSTOMSIZE"
"*%"
"{"
"}"
"\""
"\x0d\x0a"
"\x1e"
"<psk:PageMediaSize psf2:psftype=\"Feature\">"
"</psk:PageMediaSize>"
" psf2:psftype=\"Option\">"
" psf2:default=\"true\""
DICT

cd "$work"
./unchanged_save_fuzz -max_total_time="$seconds" -max_len=8192 -dict=dictionary \
  -print_final_stats=1 corpus
