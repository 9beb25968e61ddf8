# The core library is every .cpp directly inside the core folders, lowest first (a folder
# includes only from the folders before it: tools/check_layers.sh).  The windows live in
# gui/, the demonstration region in demo/ (a library of its own); neither is core.
set(STRNUM_CORE_FOLDERS base system tables report identity settings dbase paradox data journal walk batches
    operations console hints)
set(STRNUM_CORE_SOURCES "")
foreach(folder IN LISTS STRNUM_CORE_FOLDERS)
    file(GLOB folder_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND STRNUM_CORE_SOURCES ${folder_sources})
endforeach()
