# txLoad of the largest flat PNGs under 256 KB that the PNG reader's bounds accept.
add_executable(korv-bench-texture-png ${CMAKE_CURRENT_LIST_DIR}/texture_png.cpp)
target_link_libraries(korv-bench-texture-png PRIVATE media)
