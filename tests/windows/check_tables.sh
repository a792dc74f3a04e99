#!/usr/bin/env bash
# Checks the tables of a cross-built focus.dll with the MinGW objdump:
#   - the export table holds exactly the focus_ functions of focus.h (and
#     of focus.def), under their plain names: no "_" prefix, no "@N" suffix;
#   - the import table names system DLLs only (KERNEL32 and msvcrt), so the
#     DLL needs no MinGW runtime DLL beside it;
#   - the library's own code (the static archive of the same objects) calls
#     exactly the eleven kernel32 functions of the serial backend;
#   - the file is built for the expected machine and carries a version
#     resource with the project's version.
#
#   check_tables.sh ARCH BUILD_DIR VERSION      (ARCH: x86_64 or i686)
set -uo pipefail

arch=$1
build=$2
version=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
dll=$build/focus.dll
archive=$build/libfocus_static.a
case $arch in
  x86_64) triple=x86_64-w64-mingw32 format=pei-x86-64 ;;
  i686) triple=i686-w64-mingw32 format=pei-i386 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
objdump=$triple-objdump

passed=0
failed=0
check() {  # check NAME COMMAND...: one line per check
  local name=$1
  shift
  if "$@"; then
    echo "ok   $arch: $name"
    passed=$((passed + 1))
  else
    echo "FAIL $arch: $name"
    failed=$((failed + 1))
  fi
}
same() {  # same EXPECTED ACTUAL: equal texts, a diff when not
  [ "$1" = "$2" ] && return 0
  diff <(echo "$1") <(echo "$2") | sed 's/^/     /'
  return 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -f "$dll" ]; then
  echo "FAIL $arch: $dll is missing"
  echo "tables: 0 passed, 1 failed"
  exit 1
fi
"$objdump" -p "$dll" >"$work/p.txt"

header_names=$(grep -o 'FOCUS_CALL focus_[a-z_]*' "$root/include/focus.h" | awk '{print $2}' | sort)
def_names=$(sed -n '/^EXPORTS/,$p' "$root/src/focus.def" | tail -n +2 | awk '$1 !~ /^;/ && NF {print $1}' | sort)
export_names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$work/p.txt" | awk '/^\t\[/ {print $NF}' | sort)

check "focus.h declares the 24 operations and the extensions" [ "$(echo "$header_names" | wc -l)" -ge 26 ]
check "focus.def lists the exports of focus.h" same "$header_names" "$def_names"
check "export table: exactly the focus_ names of focus.h, undecorated" same "$header_names" "$export_names"
check "export table: the DLL is named focus.dll" grep -Eq '^Name[[:space:]].* focus\.dll$' "$work/p.txt"

imported_dlls=$(awk '/DLL Name:/ {print tolower($3)}' "$work/p.txt" | sort -u)
check "import table: KERNEL32 and msvcrt only (got: $(echo $imported_dlls))" \
  same "$(printf 'kernel32.dll\nmsvcrt.dll')" "$imported_dlls"

# The names imported from KERNEL32, and those of them the library's objects
# reference themselves (__imp_Name, on i686 __imp__Name@N).
kernel32_imports=$(awk '/DLL Name:/ {in_k = (tolower($3) == "kernel32.dll"); next}
                        in_k && NF == 3 && $2 ~ /^[0-9]+$/ {print $3}' "$work/p.txt" | sort -u)
library_calls=$("$triple-nm" -u "$archive" | awk '{print $NF}' | grep '^__imp_' |
                sed -e 's/^__imp_//' -e 's/@[0-9]*$//' | { [ "$arch" = i686 ] && sed 's/^_//' || cat; } |
                sort -u | comm -12 - <(echo "$kernel32_imports"))
expected_calls=$(printf '%s\n' CloseHandle CreateFileA GetCommState GetCommTimeouts GetTickCount64 PurgeComm \
                   ReadFile SetCommState SetCommTimeouts Sleep WriteFile | sort)
check "the library calls exactly the eleven kernel32 serial and timing functions" \
  same "$expected_calls" "$library_calls"

check "file format $format" grep -q "file format $format" <("$objdump" -f "$dll")

"$triple-objcopy" -O binary --only-section=.rsrc "$dll" "$work/rsrc.bin" 2>/dev/null
strings -el "$work/rsrc.bin" >"$work/rsrc.txt" 2>/dev/null
value_of() { grep -A1 -x "$1" "$work/rsrc.txt" | tail -n 1; }
check "version resource: FileVersion $version" same "$version" "$(value_of FileVersion)"
check "version resource: ProductName focus" same "focus" "$(value_of ProductName)"
# The version of focus.h, in the resource's text and in its fixed part
# (VS_FIXEDFILEINFO after the 0xFEEF04BD signature: file version as
# major.minor and patch.0, 16-bit halves, little-endian).
header_version=$(sed -n 's/^#define FOCUS_VERSION_STRING "\(.*\)"$/\1/p' "$root/include/focus.h")
fixed=($(od -An -tx1 -v "$work/rsrc.bin" | tr -s ' \n' ' ' | grep -o 'bd 04 ef fe\( [0-9a-f][0-9a-f]\)\{12\}' | head -n 1))
fixed_version=""
if [ ${#fixed[@]} -eq 16 ]; then
  fixed_version=$((16#${fixed[11]}${fixed[10]})).$((16#${fixed[9]}${fixed[8]})).$((16#${fixed[15]}${fixed[14]}))
fi
check "version resource: FileVersion is focus.h's FOCUS_VERSION_STRING ($header_version)" \
  same "$header_version" "$(value_of FileVersion)"
check "version resource: fixed file version $header_version" same "$header_version" "$fixed_version"
check "version resource: a FileDescription" [ -n "$(value_of FileDescription)" ]

echo "tables: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
