# The sanitizer build's short run of the show (label asan): only where the sanitizers
# are on; about 30 s of show plus loading.
if(KORV_SANITIZE AND NOT KORV_FUZZ)
  find_package(X11 REQUIRED)
  korv_add_program_test(e2e_asan_show_test LABEL asan TIMEOUT 240
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/asan_show.cpp
    LIBS X11::X11)
endif()
