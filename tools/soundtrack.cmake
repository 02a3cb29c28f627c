# Soundtrack: synthesised and encoded at build time into the content folder.
add_executable(korv-soundtrack ${CMAKE_CURRENT_LIST_DIR}/soundtrack.cpp)
target_link_libraries(korv-soundtrack PRIVATE PkgConfig::VORBISENC PkgConfig::VORBIS)
# One optimisation level and no fused multiply-adds whatever the build type: the
# compiler folds constants differently per level, and the bytes must not change.
target_compile_options(korv-soundtrack PRIVATE -O2 -ffp-contract=off)
add_custom_command(OUTPUT ${KORV_CONTENT_DIR}/music.ogg
  COMMAND korv-soundtrack ${KORV_CONTENT_DIR}/music.ogg
  DEPENDS korv-soundtrack
  COMMENT "Synthesising the soundtrack")
# The rule lives in this directory; the target makes it run before the pack is laid.
add_custom_target(korv-music ALL DEPENDS ${KORV_CONTENT_DIR}/music.ogg)
korv_add_content(${KORV_CONTENT_DIR}/music.ogg)
