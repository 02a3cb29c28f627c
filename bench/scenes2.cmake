# Scenes benchmark: median frame time of patterns 32 to 54 (particle image,
# kaleidoscope and credits, greetings tunnel) at 1024 x 576 and 1920 x 1080.
add_executable(korv-bench-scenes2 ${CMAKE_CURRENT_LIST_DIR}/scenes2.cpp)
target_link_libraries(korv-bench-scenes2 PRIVATE presentation scene)
target_compile_definitions(korv-bench-scenes2 PRIVATE KORV_BENCH_BINARY_DIR="${CMAKE_BINARY_DIR}")
