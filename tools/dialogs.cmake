# Content of the two dialogs ("cfg.xml", "msgbox.xml"): the header image of the
# setup dialog and the DejaVu Sans faces both dialogs write with.
add_executable(korv-gendialog ${CMAKE_CURRENT_LIST_DIR}/gendialog.cpp)
target_link_libraries(korv-gendialog PRIVATE media Freetype::Freetype)
add_custom_command(OUTPUT ${KORV_CONTENT_DIR}/dialog_head.tga
  COMMAND korv-gendialog ${KORV_CONTENT_DIR}
  DEPENDS korv-gendialog
  COMMENT "Generating the dialog header image")

set(_korv_dialog_fonts DejaVuSans.ttf DejaVuSans-Bold.ttf)
set(_korv_dialog_font_files)
foreach(_f ${_korv_dialog_fonts})
  add_custom_command(OUTPUT ${KORV_CONTENT_DIR}/${_f}
    COMMAND ${CMAKE_COMMAND} -E copy /usr/share/fonts/truetype/dejavu/${_f} ${KORV_CONTENT_DIR}/${_f}
    DEPENDS /usr/share/fonts/truetype/dejavu/${_f})
  list(APPEND _korv_dialog_font_files ${KORV_CONTENT_DIR}/${_f})
endforeach()
add_custom_target(korv-dialog-content ALL DEPENDS ${KORV_CONTENT_DIR}/dialog_head.tga ${_korv_dialog_font_files})
korv_add_content(${KORV_CONTENT_DIR}/dialog_head.tga ${_korv_dialog_font_files})
