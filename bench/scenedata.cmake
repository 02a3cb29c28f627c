# Scene data benchmark: writing and reading a large scene file, with the neighbour
# table read from the file or derived at load.
add_executable(korv-bench-scenedata ${CMAKE_CURRENT_LIST_DIR}/scenedata.cpp)
target_link_libraries(korv-bench-scenedata PRIVATE scene presentation)
