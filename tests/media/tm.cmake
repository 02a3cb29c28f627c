# Framework texture manager on a real GL context (Xvfb, llvmpipe): uploads are read
# back with glGetTexImage and the texture level queries.
korv_add_test(korv-tm-gl LABEL gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tm_upload.cpp
  LIBS media)
