# Particle image, kaleidoscope, greetings tunnel scenes and the debug overlay: recorded
# GL calls against the formulas, and read-backs on llvmpipe where orientation matters.
foreach(_s2 particles kaleido greets overlay)
  korv_add_test(scenes2_${_s2}_test LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes2_${_s2}.cpp
    LIBS presentation scene)
endforeach()
korv_add_test(scenes2_gl_test LABEL gl TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scenes2_gl.cpp
  LIBS presentation scene)
