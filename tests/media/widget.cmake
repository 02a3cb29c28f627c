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

# Fuzz target of the widget loader (scripts/fuzz.sh; replayed here).
korv_add_fuzz(widget SOURCES ${CMAKE_CURRENT_LIST_DIR}/widget_fuzz.cpp LIBS media GTest::gtest
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/widget-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/widget-crashes
  DICT ${CMAKE_CURRENT_LIST_DIR}/widget.dict MAX_LEN 16384)
