# End-to-end runs of korvadyne. The whole-timeline run takes about 211 s; it has the
# label e2e so it can be left out with ctest -LE e2e.
find_package(X11 REQUIRED)
korv_add_test(e2e_show_test LABEL e2e TIMEOUT 420
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_show.cpp
  LIBS X11::X11)
if(TARGET korvadyne)
  add_dependencies(e2e_show_test korvadyne)
endif()
