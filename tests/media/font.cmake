# Font renderer: faces, font objects and rendering into bitmaps (no display needed).
# The tests measure glyphs with FreeType directly to check the renderer's figures.
korv_add_test(korv-font-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_faces.cpp
          ${CMAKE_CURRENT_LIST_DIR}/font_render.cpp
  LIBS media Freetype::Freetype)
