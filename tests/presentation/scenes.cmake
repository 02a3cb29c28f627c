# Scenes of patterns 9 to 31 and the glow: recorded GL calls against the formulas,
# and a few read-backs on llvmpipe.
korv_add_test(scenes_glow_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes_glow.cpp
  LIBS presentation scene)
korv_add_test(scenes_tunnel_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes_tunnel.cpp
  LIBS presentation scene)
korv_add_test(scenes_metaballs_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes_metaballs.cpp
  LIBS presentation scene)
korv_add_test(scenes_wave_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes_wave.cpp
  LIBS presentation scene)
korv_add_test(scenes_cubes_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes_cubes.cpp
  LIBS presentation scene)
korv_add_test(scenes_gl_test LABEL gl TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes_gl.cpp
  LIBS presentation scene)
# The blur effects are read from the source tree's data folder.
target_compile_definitions(scenes_gl_test PRIVATE KORV_SCENES_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
