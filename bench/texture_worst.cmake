# txLoad of the slowest small files (under 256 KB) the texture readers accept.
add_executable(korv-bench-texture-worst ${CMAKE_CURRENT_LIST_DIR}/texture_worst.cpp)
target_link_libraries(korv-bench-texture-worst PRIVATE media JPEG::JPEG)
