# Dialog widgets: loading and the classes' logic without a display, and drawing
# and events through the platform under Xvfb.
korv_add_test(korv-widget-unit LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/widget_unit.cpp ${CMAKE_CURRENT_LIST_DIR}/widget_fuzz.cpp
  LIBS media)
korv_add_test(korv-widget-gl LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/widget_gl.cpp
  LIBS media PkgConfig::SDL2)
if(TARGET korv-dialog-content)
  add_dependencies(korv-widget-gl korv-dialog-content)
endif()

# libFuzzer harness for the widget loader; built only with Clang
# (e.g. CXX=clang++ and -DKORV_FUZZ=ON), run as: fuzz-media-widget tests/media/widget-corpus
if(KORV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz-media-widget ${CMAKE_CURRENT_LIST_DIR}/widget_fuzz.cpp)
  target_compile_definitions(fuzz-media-widget PRIVATE KORV_LIBFUZZER=1)
  target_compile_options(fuzz-media-widget PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz-media-widget PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz-media-widget PRIVATE media)
endif()
