# Setup dialog, message box and error callback of the presentation, driven under
# Xvfb with SDL events pushed through the platform layer.
korv_add_test(korv-dialogs-gl LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs_setup.cpp
  LIBS presentation PkgConfig::SDL2)
if(TARGET korv-dialog-content)
  add_dependencies(korv-dialogs-gl korv-dialog-content)
endif()
