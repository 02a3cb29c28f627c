# Renderer, player and timeline of the scene engine: a recording GL table (unit) and
# read-backs on llvmpipe (gl).
korv_add_test(korv-scenerender-unit-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_keys.cpp ${CMAKE_CURRENT_LIST_DIR}/render_renderer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_particles.cpp ${CMAKE_CURRENT_LIST_DIR}/render_shadow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_timeline.cpp ${CMAKE_CURRENT_LIST_DIR}/render_player.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_shader.cpp
  LIBS scene)
