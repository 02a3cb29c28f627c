# PNG, JPEG, DDS and TQX filters of the texture loader, and its two-step read of
# large files (unit).
korv_add_test(korv-texture2-tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/texture2_libs.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture2_dxt.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture2_rows.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture2_limits.cpp
          ${CMAKE_CURRENT_LIST_DIR}/texture2_alpha.cpp
  LIBS media ZLIB::ZLIB JPEG::JPEG)
