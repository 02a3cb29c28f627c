# Pack read benchmark: file layer against zlib directly on one ~64 MB pack.
add_executable(korv-bench-pack ${CMAKE_CURRENT_LIST_DIR}/pack.cpp)
target_link_libraries(korv-bench-pack PRIVATE base ZLIB::ZLIB)
target_compile_definitions(korv-bench-pack PRIVATE KORV_PACKWRITER="$<TARGET_FILE:korv-packwriter>")
add_dependencies(korv-bench-pack korv-packwriter)
