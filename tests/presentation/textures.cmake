# The texture table and the texture-loader unit: a recording GL table (unit) and one
# real upload read back (gl).
set(_tx ${CMAKE_SOURCE_DIR}/presentation)
set(_tx_units ${_tx}/textures.cpp ${_tx}/texloader.cpp ${_tx}/bindings.cpp ${_tx}/gl.cpp)

korv_add_test(korv-textures-table-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/textures_table.cpp ${_tx_units}
  LIBS media)

korv_add_test(korv-textures-gl-tests LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/textures_gl_live.cpp ${_tx_units}
  LIBS media)
