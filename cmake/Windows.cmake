# What the Windows build (the "windows" preset: MinGW-w64 on Debian) needs that Debian carries
# for Linux only, made here from source:
#   - SQLite from the amalgamation kept in third_party/sqlite (Debian's own source of the
#     SQLite the Linux build links; provenance in third_party/sqlite/PROVENANCE.md);
#   - GoogleTest from Debian's googletest sources (/usr/src/googletest);
#   - CLI11 and nlohmann-json, header-only: their two header trees alone, copied into the
#     build folder, so that nothing else of the machine's /usr/include reaches the build.
# The programs are linked statically (libstdc++, libgcc, winpthread): they need no DLL but
# those of Windows itself.

set(STRNUM_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(STRNUM_CLI11_HEADERS /usr/include/CLI CACHE PATH "CLI11 headers (Debian package libcli11-dev)")
set(STRNUM_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json headers (Debian package nlohmann-json3-dev)")

# The desktop program shares the C++ runtime DLLs with Qt's own DLLs (one runtime in the
# process); the rest stands alone.
if(NOT STRNUM_GUI)
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()
# The command line in wide characters (shell32), the journal's access list (advapi32).
link_libraries(shell32 advapi32)
# Wide-character Win32 calls by default; no min/max macros from windows.h.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

# SQLite: the options of Debian's build that change what SQL sees (LIKE over blobs, URI file
# names, the number of variables, the statistics and statement tables, load_extension known
# as a function the console refuses by name), threads on.
add_library(strnum_sqlite STATIC ${CMAKE_SOURCE_DIR}/third_party/sqlite/sqlite3.c)
target_include_directories(strnum_sqlite SYSTEM PUBLIC ${CMAKE_SOURCE_DIR}/third_party/sqlite)
target_compile_definitions(strnum_sqlite PRIVATE
    SQLITE_THREADSAFE=1 SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_USE_URI=1 SQLITE_MAX_VARIABLE_NUMBER=250000
    SQLITE_ENABLE_DBSTAT_VTAB SQLITE_ENABLE_STMTVTAB SQLITE_ENABLE_COLUMN_METADATA SQLITE_SECURE_DELETE
    SQLITE_ENABLE_LOAD_EXTENSION)
# Not our code: its warnings are SQLite's own.
target_compile_options(strnum_sqlite PRIVATE -w)
set_target_properties(strnum_sqlite PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
add_library(SQLite::SQLite3 ALIAS strnum_sqlite)

set(STRNUM_HEADER_ONLY ${CMAKE_BINARY_DIR}/header-only)
file(COPY ${STRNUM_CLI11_HEADERS} ${STRNUM_JSON_HEADERS} DESTINATION ${STRNUM_HEADER_ONLY})
include_directories(SYSTEM ${STRNUM_HEADER_ONLY})

if(STRNUM_TESTS)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(saved_warning_as_error ${CMAKE_COMPILE_WARNING_AS_ERROR})
    set(CMAKE_COMPILE_WARNING_AS_ERROR OFF)
    add_subdirectory(${STRNUM_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(CMAKE_COMPILE_WARNING_AS_ERROR ${saved_warning_as_error})
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
endif()
