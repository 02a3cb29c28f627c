# Throughput of the XML reader and the character-set conversion, and the cost
# of the CPU detection.
add_executable(bench-baseext ${CMAKE_CURRENT_LIST_DIR}/baseext.cpp)
target_link_libraries(bench-baseext PRIVATE base)
