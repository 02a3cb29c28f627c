# Renderer, player and timeline of the scene engine: a recording GL table (unit) and
# read-backs on llvmpipe (gl).
korv_add_test(scene_render_unit_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_keys.cpp ${CMAKE_CURRENT_LIST_DIR}/render_renderer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_particles.cpp ${CMAKE_CURRENT_LIST_DIR}/render_shadow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_timeline.cpp ${CMAKE_CURRENT_LIST_DIR}/render_player.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_shader.cpp ${CMAKE_CURRENT_LIST_DIR}/render_player_fuzz.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_loaded_fuzz.cpp
  LIBS scene)

korv_add_test(scene_render_gl_test LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_gl_live.cpp
  LIBS scene)

# Fuzz targets of the project file reader and the shader program loader
# (scripts/fuzz.sh; replayed here).
korv_add_fuzz(project SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_player_fuzz.cpp LIBS scene presentation GTest::gtest
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/project-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/project-crashes MAX_LEN 8192)
korv_add_fuzz(shader SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_shader_fuzz.cpp LIBS scene presentation
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/shader-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/shader-crashes MAX_LEN 8192)
