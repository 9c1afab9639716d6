#!/bin/sh
# Builds the archive reader's fuzz target with clang++ and runs it.
#   tests/fuzz/run_archive_fuzz.sh [SECONDS] [WORKDIR]
# Seeds come from zip and python3 when they are installed, plus a few hand-made archives.
set -eu
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=${2:-"$root/build-fuzz"}
mkdir -p "$work/corpus" "$work/artifacts"

src="$root/src/backup"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I "$root/src" \
    "$src/archive_reader.cpp" "$src/archive_writer.cpp" "$src/codepage.cpp" "$src/crc32_zlib.cpp" \
    "$src/zip_format.cpp" "$src/zlib_stream.cpp" "$here/archive_reader_fuzz.cpp" \
    "$root/src/platform/text.cpp" "$root/src/platform/sim/text.cpp" \
    -lz -o "$work/archive_reader_fuzz"

seeds="$work/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/in/sub"
printf 'hello hello hello\n' > "$seeds/in/a.txt"
: > "$seeds/in/empty.txt"
head -c 3000 /dev/urandom > "$seeds/in/sub/r.bin"
if command -v zip > /dev/null; then
    (cd "$seeds/in" && zip -q -9 -r "$work/corpus/seed-zip9.zip" . && zip -q -0 -r "$work/corpus/seed-zip0.zip" .)
fi
if command -v python3 > /dev/null; then
    python3 - "$work/corpus" <<'PY'
import sys, zipfile
d = sys.argv[1]
with zipfile.ZipFile(d + '/seed-python.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('a.txt', b'abc' * 100)
    z.writestr('caf\u00e9/../x.txt', b'')
    with z.open('z64.bin', 'w', force_zip64=True) as f:
        f.write(b'0123456789' * 50)
    z.comment = b'seed'
open(d + '/seed-empty.zip', 'wb').close()
PY
fi
printf 'PK\005\006\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' > "$work/corpus/seed-end-only.zip"

"$work/archive_reader_fuzz" "$work/corpus" -max_total_time="$seconds" -max_len=65536 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1
