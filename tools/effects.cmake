# Textures named by the show's effect files (data/*.ife).
add_executable(korv-geneffects ${CMAKE_CURRENT_LIST_DIR}/geneffects.cpp)
target_link_libraries(korv-geneffects PRIVATE media Freetype::Freetype)
set(_korv_effect_textures loadlogo.tga rotbkg.tga credit1.tga credit2.tga credit3.tga credit4.tga theend.tga)
list(TRANSFORM _korv_effect_textures PREPEND ${KORV_CONTENT_DIR}/)
add_custom_command(OUTPUT ${_korv_effect_textures}
  COMMAND korv-geneffects ${KORV_CONTENT_DIR}
  DEPENDS korv-geneffects
  COMMENT "Generating the effect textures")
korv_add_content(${_korv_effect_textures})
