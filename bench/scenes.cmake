# Scenes benchmark: median frame time of patterns 9 to 31 in a real GL context.
add_executable(korv-bench-scenes ${CMAKE_CURRENT_LIST_DIR}/scenes.cpp)
target_link_libraries(korv-bench-scenes PRIVATE presentation scene)
target_compile_definitions(korv-bench-scenes PRIVATE KORV_BENCH_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
