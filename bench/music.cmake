# Music benchmark: CPU time of the player thread over the whole soundtrack, and
# the decoder's own speed.
add_executable(korv-bench-music ${CMAKE_CURRENT_LIST_DIR}/music.cpp)
target_link_libraries(korv-bench-music PRIVATE media)
target_compile_definitions(korv-bench-music PRIVATE KORV_BENCH_BINARY_DIR="${CMAKE_BINARY_DIR}")
if(TARGET korv-music)
  add_dependencies(korv-bench-music korv-music)
endif()
