# Platform layer: clock, threads, mutexes, message box.
korv_add_test(korv-platform-core-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/core_platform.cpp
  LIBS platform)
