# End-to-end runs that end in the error box (about 20 s in all).
korv_add_program_test(e2e_errorbox_test LABEL e2e TIMEOUT 240
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_errorbox.cpp)
