# Base services: XML reader, character sets, system and CPU detection, phrase
# table, TCP sockets (127.0.0.1 only).
korv_add_test(test-base-ext LABEL unit TIMEOUT 60
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ext_iconv.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ext_cpu.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ext_xml.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ext_xml_fuzz.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ext_lang.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ext_net.cpp
  LIBS base)

# Fuzz targets of the XML reader and the phrase table (scripts/fuzz.sh; replayed here).
korv_add_fuzz(xml SOURCES ${CMAKE_CURRENT_LIST_DIR}/ext_xml_fuzz.cpp LIBS base
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/xml-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/xml-crashes MAX_LEN 16384)
korv_add_fuzz(lang SOURCES ${CMAKE_CURRENT_LIST_DIR}/ext_lang_fuzz.cpp LIBS base
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/lang-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/lang-crashes MAX_LEN 8192)
