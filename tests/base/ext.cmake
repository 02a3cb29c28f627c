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

# libFuzzer harness for the XML reader; built only with Clang
# (e.g. CXX=clang++ and -DKORV_FUZZ=ON), run as: fuzz-base-xml tests/base/xml-corpus
if(KORV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz-base-xml ${CMAKE_CURRENT_LIST_DIR}/ext_xml_fuzz.cpp)
  target_compile_definitions(fuzz-base-xml PRIVATE KORV_LIBFUZZER=1)
  target_compile_options(fuzz-base-xml PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz-base-xml PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz-base-xml PRIVATE base)
endif()
