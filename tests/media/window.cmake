# Window manager: unit tests without a display, GL tests under Xvfb, and a demo
# program that shows, resizes and closes a window through the framework alone.
# The tests build SDL events themselves, so they link SDL directly.
korv_add_test(korv-window-unit LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_unit.cpp
  LIBS media PkgConfig::SDL2)
korv_add_test(korv-window-gl LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_gl.cpp
  LIBS media PkgConfig::SDL2)

add_executable(korv-window-demo ${CMAKE_CURRENT_LIST_DIR}/window_demo.cpp)
target_link_libraries(korv-window-demo PRIVATE media)
set_target_properties(korv-window-demo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
if(KORV_SANITIZE)
  target_sources(korv-window-demo PRIVATE $<TARGET_OBJECTS:korv-keep-gl-drivers>)
endif()
add_test(NAME korv-window-demo COMMAND korv-window-demo 1500)
set_tests_properties(korv-window-demo PROPERTIES LABELS gl TIMEOUT 60
  ENVIRONMENT "KORVADYNE_HEADLESS=1;${KORV_SANITIZER_ENV}" WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
