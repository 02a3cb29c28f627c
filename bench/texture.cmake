# txLoad of a 2048x2048 24-bit TGA and BMP against a plain fread of the same files.
add_executable(korv-bench-texture ${CMAKE_CURRENT_LIST_DIR}/texture.cpp)
target_link_libraries(korv-bench-texture PRIVATE media)
