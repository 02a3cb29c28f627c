# Spare main-program routines: curves, lights, cube, matrix reset, number reader and
# the buffer-object mesh loader, against a recording GL table.
korv_add_test(spare_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spare_curves.cpp ${CMAKE_CURRENT_LIST_DIR}/spare_mesh.cpp
  LIBS presentation scene)
korv_add_test(spare_gl_test LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spare_gl.cpp
  LIBS presentation scene)
# Fuzz target of the mesh loader and the number reader (scripts/fuzz.sh; replayed here).
korv_add_fuzz(mesh SOURCES ${CMAKE_CURRENT_LIST_DIR}/spare_mesh_fuzz.cpp LIBS presentation scene
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/mesh-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/mesh-crashes MAX_LEN 8192)
