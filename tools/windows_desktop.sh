#!/usr/bin/env bash
# The desktop program for Windows: strnum.exe built against Qt for Windows (made by
# tools/build_qt_windows.sh from Debian's own qt6-base source) into build/windows/gui, and put
# into the package folder with everything it needs beside it: Qt's four DLLs, the Windows
# platform plugin and style, MinGW's three runtime DLLs, Qt's Russian translation and the
# read-me.  Called by tools/windows.sh; on its own:
#
#   tools/windows_desktop.sh PACKAGE_DIR [--with-qt]
# Without Qt for Windows (and without --with-qt, which builds it first: about half an hour on
# two cores) it says so and builds nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
package=${1:?the package folder}
qt=${STRNUM_QT_WINDOWS:-$root/build/windows/qt}
[[ ${2:-} == --with-qt ]] && bash tools/build_qt_windows.sh
if [[ ! -f $qt/plugins/platforms/qwindows.dll ]]; then
    echo "Qt for Windows is not in $qt: strnum.exe not built (tools/windows.sh --with-qt builds it)"
    exit 0
fi
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
fi
build=$root/build/windows/gui
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DSTRNUM_QT_WINDOWS="$qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DSTRNUM_TESTS=OFF -DSTRNUM_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target strnum

strip=x86_64-w64-mingw32-strip
mkdir -p "$package/platforms" "$package/styles" "$package/translations"
$strip -o "$package/strnum.exe" "$build/gui/strnum.exe"
for dll in Qt6Core Qt6Gui Qt6Widgets Qt6PrintSupport; do $strip -o "$package/$dll.dll" "$qt/bin/$dll.dll"; done
$strip -o "$package/platforms/qwindows.dll" "$qt/plugins/platforms/qwindows.dll"
$strip -o "$package/styles/qwindowsvistastyle.dll" "$qt/plugins/styles/qwindowsvistastyle.dll"
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
for dll in "$runtime/libgcc_s_seh-1.dll" "$runtime/libstdc++-6.dll" /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll; do
    $strip -o "$package/$(basename "$dll")" "$dll"
done
cp /usr/share/qt6/translations/qtbase_ru.qm "$package/translations/"
cp "packaging/windows/ПРОЧТИТЕ.txt" "$package/"

# Every DLL each of them imports is in the folder or one of Windows' own.
missing=0
while IFS= read -r -d '' module; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$module" | sed -n 's/^\s*DLL Name: //p'); do
        [[ -f $package/$dll ]] && continue
        [[ -f /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/${dll,,} || $dll == api-ms-win-* ]] && continue
        echo "$(basename "$module") needs $dll, which is neither in the folder nor a DLL of Windows"
        missing=1
    done
done < <(find "$package" \( -name '*.exe' -o -name '*.dll' \) -print0)
((missing == 0)) || exit 1
echo "strnum.exe and what it needs: $(du -sh "$package" | cut -f1)"
