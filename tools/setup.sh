#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing strnum needs.
# Safe to run again: when everything is there it changes nothing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config          # compiler and build
    clang libclang-rt-14-dev                  # libFuzzer and the sanitizer runtimes
    libgtest-dev                              # core tests
    qt6-base-dev libgl-dev                    # windows, dialogs, printing (Widgets, PrintSupport)
    qt6-translations-l10n                     # Qt's own texts in Russian: "Да"/"Нет", file and print dialogs
    libsqlite3-dev                            # the SQL console
    libcli11-dev nlohmann-json3-dev           # command line and JSON, header-only
    fonts-liberation                          # Courier New and window-font metrics
    xvfb xauth                                # window tests and screenshots without a display
    g++-mingw-w64-x86-64-posix googletest     # the Windows build: its compiler, GoogleTest's sources
    wine64                                    # the Windows build's tests
)

# --windows: also what making the Windows sources anew needs (dpkg-dev unpacks Debian's source
# packages: Qt for Windows, the SQLite amalgamation).
if [[ ${1:-} == --windows ]]; then
    packages+=(dpkg-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [[ $(id -u) -eq 0 ]] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
