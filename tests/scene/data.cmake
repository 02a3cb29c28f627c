# Scene data: records, scene file reader and writer, preparation, scene textures,
# configuration text and geometry export. Buffer objects go through a recording GL
# table, so no context is needed.
korv_add_test(scene_data_file_test LABEL unit TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_file.cpp
  LIBS scene presentation)
korv_add_test(scene_data_prepare_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_prepare.cpp
  LIBS scene presentation)
korv_add_test(scene_data_config_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_config.cpp
  LIBS scene presentation)
# The same preparation on llvmpipe, read back from the buffer objects.
korv_add_test(scene_data_gl_test LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_gl.cpp
  LIBS scene presentation platform)
# libFuzzer harness of the two readers; clang only (see the file for how to run it).
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(scene_data_fuzz ${CMAKE_CURRENT_LIST_DIR}/data_fuzz.cpp)
  target_compile_options(scene_data_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(scene_data_fuzz PRIVATE scene presentation GTest::gtest -fsanitize=fuzzer)
endif()
