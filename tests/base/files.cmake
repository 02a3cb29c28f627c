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

# libFuzzer harness for the pack reader; built only with Clang
# (e.g. CXX=clang++ and -DKORV_FUZZ=ON), run as: fuzz-base-pack tests/base/pack-corpus
if(KORV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz-base-pack ${CMAKE_CURRENT_LIST_DIR}/files_pack_fuzz.cpp)
  target_compile_definitions(fuzz-base-pack PRIVATE KORV_LIBFUZZER=1)
  target_compile_options(fuzz-base-pack PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz-base-pack PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz-base-pack PRIVATE base)
endif()
