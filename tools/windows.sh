#!/usr/bin/env bash
# Builds strnum for Windows x86-64 on Debian, into build/windows/:
#   - the core, strnum-cli.exe and the core tests, cross-compiled with MinGW-w64 (the
#     "windows" preset: SQLite from third_party/sqlite, GoogleTest from Debian's sources);
#   - runs the core tests under Wine (its own prefix, build/windows/wine), in two parts at once;
#   - the desktop program strnum.exe, when Qt for Windows is there (build/windows/qt or
#     $STRNUM_QT_WINDOWS; --with-qt builds it first: about half an hour on two cores), with
#     the DLLs, plugins and translation it needs (tools/windows_desktop.sh);
#   - writes build/windows/strnum-windows-x64.zip: the folder a clerk copies, strnum-cli.exe
#     (linked statically, checked to import nothing but DLLs of Windows itself), strnum.exe
#     and what it needs, ПРОЧТИТЕ.txt.
#
#   tools/windows.sh [--no-tests] [--with-qt]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tests=1
withQt=""
for arg in "$@"; do
    case $arg in
        --no-tests) tests=0 ;;
        --with-qt) withQt=--with-qt ;;
        *) echo "tools/windows.sh [--no-tests] [--with-qt]"; exit 2 ;;
    esac
done

bash tools/setup.sh --windows
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
fi
start=$SECONDS
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
echo "Windows build: $((SECONDS - start)) s"
build=$root/build/windows/build

if ((tests)); then
    wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    export WINEPREFIX=$root/build/windows/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    start=$SECONDS
    "$wine" wineboot -i >/dev/null 2>&1 || true  # makes the prefix the first time (about 15 s)
    # Two parts of the tests at once, each a Windows process of its own; a part that fails
    # prints its output.
    logs=$root/build/windows/tests
    mkdir -p "$logs"
    pids=()
    for part in 0 1; do
        GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$part \
            "$wine" "$build/tests/strnum_core_tests.exe" --gtest_brief=1 >"$logs/part$part.log" 2>&1 &
        pids+=($!)
    done
    status=0
    for part in 0 1; do
        if ! wait "${pids[$part]}" || ! grep -q '^\[  PASSED  \]' "$logs/part$part.log" ||
            grep -q '^\[  FAILED  \]' "$logs/part$part.log"; then
            cat "$logs/part$part.log"
            status=1
        fi
    done
    "$wineserver" -k 2>/dev/null || true  # nothing of Wine stays running
    ((status == 0)) || { echo "Windows core tests failed under Wine"; exit 1; }
    count() { awk -v what="$1" '$0 ~ "^\\[  " what {n += $4} END {print n + 0}' "$logs"/part*.log; }
    echo "Windows core tests under Wine: $(count PASSED) passed, $(count SKIPPED) skipped (their reasons in" \
        "build/windows/tests), $((SECONDS - start)) s"
fi

# The package: strnum-cli.exe and the DLLs it needs, which must all be Windows' own.
package=$root/build/windows/package
rm -rf "$package" "$root/build/windows/strnum-windows-x64.zip"
mkdir -p "$package"
x86_64-w64-mingw32-strip -o "$package/strnum-cli.exe" "$build/cli/strnum-cli.exe"
system_dlls='^(kernel32|msvcrt|advapi32|shell32|user32)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$package/strnum-cli.exe" | sed -n 's/^\s*DLL Name: //p')
for dll in $imports; do
    if ! grep -qiE "$system_dlls" <<<"$dll"; then
        echo "strnum-cli.exe needs $dll, which is not a DLL of Windows itself"
        exit 1
    fi
done
bash tools/windows_desktop.sh "$package" $withQt
cp "packaging/windows/ПРОЧТИТЕ.txt" "$package/"
(cd "$package" && cmake -E tar cf ../strnum-windows-x64.zip --format=zip -- *)
echo "Package: build/windows/strnum-windows-x64.zip ($(cd "$package" && ls | tr '\n' ' '))"
