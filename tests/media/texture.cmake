# Texture loader, converters and filters (unit); the show's generated textures.
korv_add_test(korv-texture-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/texture_filters.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture_loader.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture_converters.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture_fuzz.cpp
  LIBS media)
target_compile_definitions(korv-texture-tests PRIVATE KORV_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# libFuzzer harness for the loader and its filters; built only with Clang
# (CXX=clang++ and -DKORV_FUZZ=ON), run as: fuzz-media-texture tests/media/texture-corpus
if(KORV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz-media-texture ${CMAKE_CURRENT_LIST_DIR}/texture_fuzz.cpp)
  target_compile_definitions(fuzz-media-texture PRIVATE KORV_LIBFUZZER=1)
  target_compile_options(fuzz-media-texture PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz-media-texture PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz-media-texture PRIVATE media GTest::gtest)
endif()
# The generated textures, read as the show reads them.
korv_add_test(korv-texture-content-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/texture_content.cpp
  LIBS media Freetype::Freetype)
add_dependencies(korv-texture-content-tests korv-textures)
target_compile_definitions(korv-texture-content-tests PRIVATE KORV_TEST_CONTENT_DIR="${KORV_CONTENT_DIR}")
