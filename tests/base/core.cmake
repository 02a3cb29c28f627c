# Base core services: start-up and shutdown, options, timer, log, memory, threads,
# lists, strings.
korv_add_test(korv-base-core-tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/core_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_cfg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_time.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_log.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_mem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_thread.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_str.cpp
    ${CMAKE_CURRENT_LIST_DIR}/core_sizes.cpp
  LIBS base)

# Fuzz target of the config-file reader (scripts/fuzz.sh; replayed here).
korv_add_fuzz(cfg SOURCES ${CMAKE_CURRENT_LIST_DIR}/core_cfg_fuzz.cpp LIBS base
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/cfg-corpus CRASHES ${CMAKE_CURRENT_LIST_DIR}/cfg-crashes MAX_LEN 8192)
