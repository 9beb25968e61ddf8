# Cross-compiling for Windows x86-64 on Debian with MinGW-w64 (g++-mingw-w64-x86-64-posix:
# posix threads, so that std::thread and std::mutex work).  Used by the "windows" preset and
# by the Qt build of tools/build_qt_windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-ranlib CACHE FILEPATH "")

# Libraries and headers come from the MinGW tree (and the folders given in
# CMAKE_PREFIX_PATH, such as the Windows Qt); programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The desktop program's Qt for Windows (tools/build_qt_windows.sh), searched like the MinGW tree.
if(STRNUM_QT_WINDOWS)
    list(APPEND CMAKE_FIND_ROOT_PATH ${STRNUM_QT_WINDOWS})
endif()
