# The core library is every .cpp directly inside the core folders.  Window code lives in
# the gui/ subfolder of its folder and is never part of the core.
set(STRNUM_CORE_FOLDERS base app walk UREPORT2 data identity operations batches console journal demo hints)
set(STRNUM_CORE_SOURCES "")
foreach(folder IN LISTS STRNUM_CORE_FOLDERS)
    file(GLOB folder_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND STRNUM_CORE_SOURCES ${folder_sources})
endforeach()
