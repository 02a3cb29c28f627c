# Contact sheet of the show from the whole-show test's shots (scripts/contact-sheet.sh).
add_executable(korv-contactsheet ${CMAKE_CURRENT_LIST_DIR}/contactsheet.cpp)
target_link_libraries(korv-contactsheet PRIVATE media Freetype::Freetype)
