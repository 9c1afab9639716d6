#!/usr/bin/env bash
# Builds the driver-file fuzzer with clang's libFuzzer and AddressSanitizer straight from the
# sources it needs and runs it for the given number of seconds (default 60).
#   tests/fuzz/run_driverconfig_fuzz.sh [seconds] [work-folder]
# Exits non-zero when the build fails or the fuzzer finds a crash; the crashing input is kept
# in the work folder.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/driverconfig-fuzz.XXXXXX")}"
mkdir -p "$work/corpus"
CXX="${CXX_FUZZ:-clang++}"

"$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" \
  "$root/tests/fuzz/driverconfig_fuzz.cpp" \
  "$root/src/driverconfig/text.cpp" \
  "$root/src/driverconfig/text_model.cpp" \
  "$root/src/driverconfig/feature_writer.cpp" \
  "$root/src/driverconfig/paper_catalogue.cpp" \
  -o "$work/driverconfig_fuzz"

# Seeds: a small description, a capabilities document and catalogue lines.
printf '%s\r\n' '*GPDFileVersion: "1.0"' '*Feature: PaperSize' '{' \
  '*DefaultOption: LETTER' '*Option: LETTER' '{' '*rcNameID: =RCID_DMPAPER_SYSTEM_NAME' \
  '*PrintSchemaKeywordMap: "NorthAmericaLetter"' '*PrintableOrigin: PAIR(0, 0)' \
  '*PrintableArea: PAIR(3886200, 5029200)' '}' '}' '*% comment' '*Feature: Resolution' '{' \
  '*DefaultOption: ResOption1' '*Option: ResOption1' '{' '*Name: "600 x 600"' \
  '*SpotDiameter: 100' '*DPI: PAIR(600, 600)' '*TextDPI: PAIR(600, 600)' '}' '}' \
  '*Feature: ColorMode' '{' '}' > "$work/corpus/description"
printf '%s\n' '<?xml version="1.0"?>' '<psf2:PrintDeviceCapabilities>' \
  '  <psk:PageMediaSize psf2:psftype="Feature">' '    <psk:ISOA4 psf2:psftype="Option">' \
  '    </psk:ISOA4>' '  </psk:PageMediaSize>' '  <psk:PageResolution psf2:psftype="Feature">' \
  '  </psk:PageResolution>' '</psf2:PrintDeviceCapabilities>' > "$work/corpus/capabilities"
printf '%s\n' 'A4' '[US]' 'LETTER||3886200||5029200' '' '[ISO]' 'A4||3779901||5345811' \
  '[ISO B]' 'ISO B0 1000 x 1414 mm' '11x15 279 x 381 mm' ' ' 'Arch E 914 x 1219 mm ' \
  > "$work/corpus/catalogue"
cat > "$work/dictionary" <<'DICT'
"*Feature: "
"*Feature: PaperSize"
"*Feature: Resolution"
"*Option: "
"*DefaultOption:"
"PrintableArea:"
"PAIR("
"pair("
"<psk:PageMediaSize psf2:psftype=\"Feature\">"
"</psk:PageMediaSize>"
"<psk:PageResolution psf2:psftype=\"Feature\">"
"</psk:PageResolution>"
"||"
" mm"
" x "
"\x0d\x0a"
"\x00"
DICT

cd "$work"
./driverconfig_fuzz -max_total_time="$seconds" -max_len=8192 -dict=dictionary \
  -print_final_stats=1 corpus
