# Scene renderer: processor cost of the shadow-volume silhouette per frame and of a
# full particle pool per frame (GL calls stubbed out).
add_executable(korv-bench-scenerender ${CMAKE_CURRENT_LIST_DIR}/scenerender.cpp)
target_link_libraries(korv-bench-scenerender PRIVATE scene)
