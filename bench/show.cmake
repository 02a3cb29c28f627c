# Show benchmark: every pattern 0 to 56 in show order at 1024 x 576 and 1920 x 1080,
# median and longest frame per pattern, longest frame of each scene range's first second.
add_executable(korv-bench-show ${CMAKE_CURRENT_LIST_DIR}/show.cpp)
target_link_libraries(korv-bench-show PRIVATE presentation scene)
target_compile_definitions(korv-bench-show PRIVATE KORV_BENCH_BINARY_DIR="${CMAKE_BINARY_DIR}")
