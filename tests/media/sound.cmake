# Sound system and streamed music: refills and refusals on the null output (unit),
# playback captured through OpenAL Soft's wave-file writer (audio), and the
# soundtrack itself (unit, needs the built music.ogg).
korv_add_test(korv-sound-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_fill.cpp
  LIBS media PkgConfig::VORBISENC)
korv_add_test(korv-sound-play-tests LABEL audio TIMEOUT 60
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_play.cpp
  LIBS media PkgConfig::VORBISENC)
korv_add_test(korv-soundtrack-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_soundtrack.cpp
  LIBS PkgConfig::VORBIS)
add_dependencies(korv-soundtrack-tests korv-music korv-soundtrack)
target_compile_definitions(korv-soundtrack-tests PRIVATE
  KORV_SOUNDTRACK_TOOL="$<TARGET_FILE:korv-soundtrack>")
# Defaults for runs outside CTest's environment.
foreach(t korv-sound-tests korv-sound-play-tests korv-soundtrack-tests)
  target_compile_definitions(${t} PRIVATE KORV_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                          KORV_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
endforeach()
korv_add_test(korv-sound-music-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_music.cpp
  LIBS presentation PkgConfig::VORBISENC)
target_compile_definitions(korv-sound-music-tests PRIVATE KORV_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                                          KORV_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
