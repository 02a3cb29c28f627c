# End-to-end runs about the program's files: where the debug log goes when the run
# starts in another folder, and what a damaged pack says (about 30 s in all).
find_package(ZLIB REQUIRED)
korv_add_program_test(e2e_files_test LABEL e2e TIMEOUT 240
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_files.cpp
  LIBS ZLIB::ZLIB)
