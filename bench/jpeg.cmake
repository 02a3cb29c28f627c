# The costliest small JPEGs through txLoad: many scans, arithmetic flat pictures,
# restart markers, against the 1 s goal.
add_executable(korv-bench-jpeg ${CMAKE_CURRENT_LIST_DIR}/jpeg.cpp)
target_link_libraries(korv-bench-jpeg PRIVATE media JPEG::JPEG)
