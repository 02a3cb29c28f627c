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
# Fuzz target of the scene file and configuration text readers (scripts/fuzz.sh;
# replayed here).
korv_add_fuzz(scene-data SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_fuzz.cpp LIBS scene presentation GTest::gtest
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/scene-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/scene-crashes MAX_LEN 16384)
