# Texture loader, converters and filters (unit); the show's generated textures.
korv_add_test(korv-texture-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/texture_filters.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture_loader.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture_converters.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture_fuzz.cpp
  LIBS media)
target_compile_definitions(korv-texture-tests PRIVATE KORV_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Fuzz target of the loader and its filters (scripts/fuzz.sh; replayed here). One
# JPEG load may hold at most 576 MiB (other readers 384 MiB and a PNG's rows), so one
# allocation may take that and the tracked block's header. Inputs go up to 300 KB,
# past the one-row headers of very wide PNGs and the slowest small PNGs of the corpus,
# which take several seconds each under the sanitizers: an input may take 30 s before
# it counts as a hang.
korv_add_fuzz(texture SOURCES ${CMAKE_CURRENT_LIST_DIR}/texture_fuzz.cpp LIBS media GTest::gtest
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/texture-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/texture-crashes MAX_LEN 307200
  OPTIONS -malloc_limit_mb=577 -timeout=30)
# The generated textures, read as the show reads them.
korv_add_test(korv-texture-content-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/texture_content.cpp
  LIBS media Freetype::Freetype)
add_dependencies(korv-texture-content-tests korv-textures)
target_compile_definitions(korv-texture-content-tests PRIVATE KORV_TEST_CONTENT_DIR="${KORV_CONTENT_DIR}")
