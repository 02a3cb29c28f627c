# Pack writer: lays the content folder into bin/quv.dat (the top level calls it).
add_executable(korv-packwriter ${CMAKE_CURRENT_LIST_DIR}/packwriter.cpp)
target_link_libraries(korv-packwriter PRIVATE base)
