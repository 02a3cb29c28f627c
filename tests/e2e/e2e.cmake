# End-to-end runs of korvadyne, label e2e (left out with ctest -LE e2e).
find_package(X11 REQUIRED)
korv_add_program_test(e2e_show_test LABEL e2e TIMEOUT 180
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_show.cpp
  LIBS X11::X11)
# The whole show with shots of every scene range: about 215 s, on its own Xvfb.
# It runs alone: its shots are timed, and a full machine makes frames lag them.
korv_add_program_test(e2e_whole_show_test LABEL e2e TIMEOUT 420 SERIAL
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/whole_show.cpp ${CMAKE_SOURCE_DIR}/presentation/tempo.cpp
  LIBS X11::X11)
# The margins file of the whole-show test against the bounds it is built with: no show.
korv_add_test(e2e_whole_show_margins_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/whole_show_margins.cpp
  LIBS X11::X11)
target_compile_definitions(e2e_whole_show_margins_test PRIVATE KORV_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
