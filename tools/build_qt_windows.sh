#!/usr/bin/env bash
# Builds Qt 6 for Windows x86-64 once, from Debian's own source of the Qt the project uses
# (qt6-base 6.4.2), cross-compiled with MinGW-w64 and Debian's host Qt tools: only Core, Gui,
# Widgets, PrintSupport and the Windows platform plugin, with Qt's bundled zlib, PNG,
# FreeType, HarfBuzz and PCRE2.  Installed into $STRNUM_QT_WINDOWS (default
# build/windows/qt) and reused afterwards: a second call with the install there does nothing.
#
# The first build takes 25-30 minutes on two cores and about 1.1 GB of room while it runs.
# The Debian source is fetched through an apt configuration of this script's own, under
# build/windows/apt: the machine's package lists are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
prefix=${STRNUM_QT_WINDOWS:-$root/build/windows/qt}
if [[ -f $prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake && -f $prefix/plugins/platforms/qwindows.dll ]]; then
    echo "Qt for Windows is in $prefix"
    exit 0
fi
bash tools/setup.sh --windows

work=$root/build/windows/qt-build
apt=$root/build/windows/apt
mkdir -p "$work" "$apt"/{lists/partial,cache/archives/partial,parts}
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    > "$apt/sources.list"
aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
         -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
source=$(ls -d "$work"/qt6-base-*/ 2>/dev/null | head -1 || true)
if [[ -z $source ]]; then
    apt-get "${aptopts[@]}" update -qq
    (cd "$work" && apt-get "${aptopts[@]}" source -qq "qt6-base=$version")
    source=$(ls -d "$work"/qt6-base-*/ | head -1)
fi

cmake -S "$source" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DINPUT_opengl=no -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_pkg_config=OFF \
    >"$work/configure.log"
cmake --build "$work/build" -j"$(nproc)"
cmake --install "$work/build" >"$work/install.log"
echo "Qt for Windows installed in $prefix"
