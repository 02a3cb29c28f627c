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

# libFuzzer harness for the project file reader; built only with Clang
# (CXX=clang++ and -DKORV_FUZZ=ON), run as: fuzz-scene-project <corpus dir>
if(KORV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz-scene-project ${CMAKE_CURRENT_LIST_DIR}/render_player_fuzz.cpp)
  target_compile_definitions(fuzz-scene-project PRIVATE KORV_LIBFUZZER=1)
  target_compile_options(fuzz-scene-project PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz-scene-project PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz-scene-project PRIVATE scene GTest::gtest)
endif()
