# The show's main textures: logo.tga, sprite8.tga, kekviz.tga, greet.tga.
# tools/gentex_common.h (canvas, FreeType lettering, TGA output) is shared with any
# other generator.
add_executable(korv-gentex ${CMAKE_CURRENT_LIST_DIR}/gentex.cpp)
target_link_libraries(korv-gentex PRIVATE media Freetype::Freetype)
set(_korv_main_textures logo.tga sprite8.tga kekviz.tga greet.tga)
list(TRANSFORM _korv_main_textures PREPEND ${KORV_CONTENT_DIR}/)
add_custom_command(OUTPUT ${_korv_main_textures}
  COMMAND korv-gentex ${KORV_CONTENT_DIR}
  DEPENDS korv-gentex
  COMMENT "Generating the main textures")
add_custom_target(korv-textures ALL DEPENDS ${_korv_main_textures})
korv_add_content(${_korv_main_textures})
