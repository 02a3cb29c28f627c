# Effects benchmark: table build, start to first frame, frame times of patterns 0 to 8.
pkg_check_modules(KORV_FXB_X11 IMPORTED_TARGET x11)
if(KORV_FXB_X11_FOUND)
  add_executable(korv-bench-effects ${CMAKE_CURRENT_LIST_DIR}/effects.cpp)
  target_link_libraries(korv-bench-effects PRIVATE presentation PkgConfig::KORV_FXB_X11)
  target_compile_definitions(korv-bench-effects PRIVATE KORV_BENCH_BINARY_DIR="${CMAKE_BINARY_DIR}")
endif()
