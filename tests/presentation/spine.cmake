# The show's spine: tempo map, vectors, registry and bindings, GL units, main window.
set(_sp ${CMAKE_SOURCE_DIR}/presentation)

korv_add_test(spine_tempo_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_tempo.cpp ${CMAKE_CURRENT_LIST_DIR}/spine_vectors.cpp
          ${_sp}/tempo.cpp ${_sp}/vectors.cpp)

korv_add_test(spine_bindings_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_bindings.cpp ${CMAKE_CURRENT_LIST_DIR}/spine_gl.cpp
          ${_sp}/bindings.cpp ${_sp}/gl.cpp
  LIBS base platform)

# The platform's swap-interval setter is the test's own.
korv_add_test(spine_swap_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_swap.cpp ${_sp}/bindings.cpp ${_sp}/gl.cpp
  LIBS base platform)

korv_add_test(spine_gl_live_test LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_gl_live.cpp ${_sp}/bindings.cpp ${_sp}/gl.cpp
  LIBS base platform)

korv_add_test(spine_window_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_window.cpp
  LIBS presentation)

korv_add_test(spine_show_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_show.cpp
  LIBS presentation)

korv_add_test(spine_frame_gl_test LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_frame_gl.cpp
  LIBS presentation)

korv_add_test(spine_dispatch_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spine_dispatch.cpp
  LIBS presentation scene)
