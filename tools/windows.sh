#!/usr/bin/env bash
# Builds strnum for Windows x86-64 on Debian, into build/windows/:
#   build    the core, strnum-cli.exe, the core tests and their helper program,
#            cross-compiled with MinGW-w64 (the "windows" preset: SQLite from third_party/sqlite,
#            GoogleTest from Debian's sources, a few large sources per program, -O1);
#   test     runs the core tests under Wine, in a prefix of the project's own
#            (build/windows/wine, made once), as two Windows processes side by side; shows
#            strnum-cli on a console in code page 866; and, when build/release holds the
#            Linux strnum-cli, runs both over one demonstration region and compares what
#            they wrote;
#   package  writes build/windows/strnum-windows-x64.zip, the folder a clerk copies:
#            strnum-cli.exe (linked statically, checked to import nothing but DLLs of Windows
#            itself), the desktop program strnum.exe with what it needs when Qt for Windows is
#            there (build/windows/qt or $STRNUM_QT_WINDOWS; tools/windows_desktop.sh), and
#            ПРОЧТИТЕ.txt.
#
#   tools/windows.sh [--with-qt] [build|test|package]...   (no step named: all three, in order)
# --with-qt builds Qt for Windows first when it is not there (about half an hour on two cores),
# so that the package holds strnum.exe.  Each step says how long it took.  Wine's server is
# stopped when the tests end, whatever their outcome.
set -euo pipefail
cd "$(dirname "$0")/.."
# Wine writes the names of files in the locale's characters, and the zip takes them from it:
# Cyrillic names need UTF-8 whatever the machine's locale (C.UTF-8 is always there).
export LC_ALL=C.UTF-8
root=$(pwd)
out=$root/build/windows
build=$out/build
withQt=""
steps=()
for arg in "$@"; do
    case $arg in
        --with-qt) withQt=--with-qt ;;
        build | test | package) steps+=("$arg") ;;
        *)
            echo "usage: tools/windows.sh [--with-qt] [build|test|package]..."
            exit 2
            ;;
    esac
done
((${#steps[@]})) || steps=(build test package)

build_step() {
    bash tools/setup.sh
    if command -v ccache >/dev/null; then
        export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
    fi
    cmake --preset windows >/dev/null
    # What the tests and the package need, nothing more.
    cmake --build --preset windows -j"$(nproc)" --target strnum_core_tests strnum-cli strnum_edit_worker
}

test_step() {
    wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    export WINEPREFIX=$out/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY  # no windows: Wine stays off any screen
    trap '"$wineserver" -k 2>/dev/null || true' EXIT
    trap 'exit 1' INT TERM
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        "$wine" wineboot -i >/dev/null 2>&1  # the prefix, once (about 10 s)
        "$wineserver" -w
    fi
    # Two parts of the tests at once, each a Windows process of its own: Wine's server and
    # the file system, not the processor, set the pace.  A part that fails prints its output.
    local logs=$out/tests part status=0
    local -a pids=()
    mkdir -p "$logs"
    for part in 0 1; do
        GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$part timeout -k 10 900 \
            "$wine" "$build/tests/strnum_core_tests.exe" --gtest_brief=1 >"$logs/part$part.log" 2>&1 &
        pids+=($!)
    done
    for part in 0 1; do
        if ! wait "${pids[$part]}" || ! grep -q '^\[  PASSED  \]' "$logs/part$part.log" ||
            grep -q '^\[  FAILED  \]' "$logs/part$part.log"; then
            cat "$logs/part$part.log"
            status=1
        fi
    done
    ((status == 0)) && console_check && compare_with_linux || status=1
    "$wineserver" -k 2>/dev/null || true
    trap - EXIT INT TERM
    ((status == 0)) || { echo "Windows core tests failed under Wine (logs in build/windows/tests)"; return 1; }
    count() { awk -v what="$1" '$0 ~ "^\\[  " what {n += $4} END {print n + 0}' "$logs"/part*.log; }
    echo "Windows core tests under Wine: $(count PASSED) passed, $(count SKIPPED) skipped," \
        "each saying why (build/windows/tests)"
}

# strnum-cli on a Windows console set to code page 866, as a Russian Windows has it: Wine gives
# a program started on a terminal a console of its own and shows it there in UTF-8 (script
# makes the terminal).  UTF-8 bytes written to such a console as they are would show as
# "╨Ц╤Г╤А..."; the program writes characters, and the Russian text is shown whole.
console_check() {
    local dir shown
    dir=$(mktemp -d /tmp/strnum-console-XXXXXX)
    mkdir "$dir/Папка"
    shown=$(timeout -k 5 60 script -qec "'$wine' cmd /c 'chcp 866 & Z:${build//\//\\}\\cli\\strnum-cli.exe journal Z:${dir//\//\\}\\Папка'" /dev/null </dev/null 2>&1) || true
    rm -rf "$dir"
    if grep -q 'Active code page: 866' <<<"$shown" && grep -q 'Журналов нет в' <<<"$shown" && grep -q 'Папка' <<<"$shown"; then
        echo "strnum-cli on a console in code page 866: its Russian text shown whole"
    else
        echo "strnum-cli on a console in code page 866 did not show its Russian text whole:"
        cat -v <<<"$shown"
        return 1
    fi
}

# The Windows strnum-cli and the Linux one (build/release, when it is there and up to date)
# over the same demonstration region: the same reports of assign, check, find and hints, paths
# aside, and the same bytes in every district file, the number directory, ANKT.DB and the
# exchange batch, the tables' creation time aside.
compare_with_linux() {
    local linux=$root/build/release/cli/strnum-cli dir=$out/compare side f report differ=()
    if [[ ! -x $linux ]]; then
        echo "No Linux strnum-cli in build/release: the Windows one is not compared with it"
        return 0
    fi
    if [[ -n $(find . \( -path ./build -o -path ./tests -o -path ./gui -o -path ./bench -o -path ./fuzz -o -path ./.git \) \
        -prune -o \( -name '*.cpp' -o -name '*.h' \) -newer "$linux" -print -quit) ]]; then
        echo "The Linux strnum-cli in build/release is older than the sources (tools/build.sh makes it anew):" \
            "the Windows one is not compared with it"
        return 0
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    run() {  # SIDE ARGS...: strnum-cli of that side in the side's region
        local side=$1
        shift
        if [[ $side == linux ]]; then
            (cd "$dir/linux" && "$linux" "$@")
        else
            (cd "$dir/windows" && "$wine" "$build/cli/strnum-cli.exe" "$@")
        fi
    }
    "$linux" demo "$dir/linux" --districts 4 --people 1500 --seed 5 >/dev/null
    "$wine" "$build/cli/strnum-cli.exe" demo "Z:${dir//\//\\}\\windows" --districts 4 --people 1500 --seed 5 >/dev/null
    for side in linux windows; do
        mkdir "$dir/$side/out"
        run $side assign >"$dir/$side.assign.txt" 2>/dev/null
        run $side check --batch --not-found --out out >"$dir/$side.check.txt"
        run $side find --fam ИВАНОВ >"$dir/$side.find.txt"
        run $side hints >"$dir/$side.hints.txt"
    done
    # Paths as the Linux side writes them; its district 2 is written C:\ORTAN\U02 there.
    for report in assign check find hints; do
        sed -e "s#Z:${dir//\//\\\\}\\\\windows#@#g" -e '/@/ s#\\#/#g' "$dir/windows.$report.txt" >"$dir/windows.$report.n"
        sed -e "s#$dir/linux#@#g" -e 's#C:\\ORTAN\\\(U[0-9]*\)#@/ORTAN/\1#g' "$dir/linux.$report.txt" >"$dir/linux.$report.n"
        cmp -s "$dir/linux.$report.n" "$dir/windows.$report.n" || differ+=("the report of $report")
    done
    while read -r f; do
        case $f in
            ./SOBES.INI | ./WAY.DBF | ./journal/* | ./strnum.log) ;;
            *.DB) cmp -s <(head -c 96 "$dir/linux/$f" && tail -c +101 "$dir/linux/$f") \
                <(head -c 96 "$dir/windows/$f" && tail -c +101 "$dir/windows/$f") || differ+=("$f") ;;
            *) cmp -s "$dir/linux/$f" "$dir/windows/$f" || differ+=("$f") ;;
        esac
    done < <(cd "$dir/linux" && find . -type f | sort)
    [[ $(cd "$dir/linux" && find . -type f | wc -l) == $(cd "$dir/windows" && find . -type f | wc -l) ]] ||
        differ+=("the files written")
    if ((${#differ[@]})); then
        echo "The Windows strnum-cli differs from the Linux one (build/windows/compare): ${differ[*]}"
        return 1
    fi
    echo "The Windows strnum-cli writes what the Linux one writes: $(wc -l <"$dir/linux.assign.txt") report" \
        "lines of assign, $(cd "$dir/linux" && find ORTAN NUMS out -type f | wc -l) tables and the batch alike"
}

package_step() {
    local package=$out/package zip=$out/strnum-windows-x64.zip imports dll
    rm -rf "$package" "$zip"
    mkdir -p "$package"
    x86_64-w64-mingw32-strip -o "$package/strnum-cli.exe" "$build/cli/strnum-cli.exe"
    # Every DLL it names must be one that every Windows has.
    imports=$(x86_64-w64-mingw32-objdump -p "$package/strnum-cli.exe" | sed -n 's/^\s*DLL Name: //p')
    for dll in $imports; do
        if ! grep -qiE '^(kernel32|msvcrt|advapi32|shell32|user32)\.dll$' <<<"$dll"; then
            echo "strnum-cli.exe needs $dll, which is not a DLL of Windows itself"
            return 1
        fi
    done
    bash tools/windows_desktop.sh "$package" $withQt
    cp "packaging/windows/ПРОЧТИТЕ.txt" "$package/"
    (cd "$package" && cmake -E tar cf "$zip" --format=zip -- *)
    echo "Package: build/windows/strnum-windows-x64.zip ($(cd "$package" && ls | tr '\n' ' '))"
}

for step in "${steps[@]}"; do
    start=$SECONDS
    case $step in
        build) build_step ;;
        test) test_step ;;
        package) package_step ;;
    esac
    echo "Windows $step: $((SECONDS - start)) s"
done
