# Setup dialog, message box and error callback of the presentation, driven under
# Xvfb with SDL events pushed through the platform layer.
korv_add_test(korv-dialogs-gl LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs_setup.cpp
  LIBS presentation PkgConfig::SDL2)
if(TARGET korv-dialog-content)
  add_dependencies(korv-dialogs-gl korv-dialog-content)
endif()

# The dialog in the real executable (needs korvadyne and its pack).
find_package(X11 REQUIRED)
korv_add_program_test(korv-dialogs-e2e LABEL e2e TIMEOUT 180
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs_e2e.cpp
  LIBS X11::X11)
