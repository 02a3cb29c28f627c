# Effects: IFE layers, procedural tables, logo and star sphere scenes.
set(_fx ${CMAKE_SOURCE_DIR}/presentation)

# The tables need nothing but the vector routines and tracked memory.
korv_add_test(effects_procedural_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_procedural.cpp ${_fx}/procedural.cpp ${_fx}/vectors.cpp
  LIBS base)

# Parsing, loading and drawing through a recording GL table: no context needed.
korv_add_test(effects_ife_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_ife.cpp
  LIBS presentation)
korv_add_test(effects_scenes_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_scenes.cpp
  LIBS presentation)
# Fuzz target of the effect-file reader (scripts/fuzz.sh; replayed here).
korv_add_fuzz(ife SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_ife_fuzz.cpp LIBS presentation
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/ife-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/ife-crashes MAX_LEN 8192)

# Read-backs on llvmpipe: blend modes, screen-copy orientation, letterbox bars.
korv_add_test(effects_gl_test LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_gl.cpp
  LIBS presentation)

# The real program under Xvfb, watched through X11 captures of its window.
pkg_check_modules(KORV_FX_X11 IMPORTED_TARGET x11)
if(KORV_FX_X11_FOUND AND TARGET korvadyne)
  korv_add_program_test(effects_e2e_test LABEL e2e TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_e2e.cpp
    LIBS PkgConfig::KORV_FX_X11)
endif()
