# File layer, packs, compressed blocks and the module loader.
korv_add_test(korv-base-files-tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/files_layer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_pack.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_pack_fuzz.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_z.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_dl.cpp
  LIBS base ZLIB::ZLIB)
target_compile_definitions(korv-base-files-tests PRIVATE
  KORV_PACKWRITER="$<TARGET_FILE:korv-packwriter>"
  KORV_TEST_DIR="${CMAKE_BINARY_DIR}/tests")
add_dependencies(korv-base-files-tests korv-packwriter korv-files-testmodule)

# The test module: found by the loader's plug-in rule as Modules/korvtest-w32.so
# below the tests' working directory. It links nothing of the framework.
add_library(korv-files-testmodule MODULE ${CMAKE_CURRENT_LIST_DIR}/files_module.cpp)
set_target_properties(korv-files-testmodule PROPERTIES
  PREFIX "" OUTPUT_NAME "korvtest-w32" SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/Modules)

# Fuzz targets of the pack reader and of compressed blocks (scripts/fuzz.sh; replayed here).
korv_add_fuzz(pack SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_pack_fuzz.cpp LIBS base ZLIB::ZLIB
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/pack-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/pack-crashes MAX_LEN 32768)
korv_add_fuzz(z SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_z_fuzz.cpp LIBS base
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/z-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/z-crashes MAX_LEN 16384)
