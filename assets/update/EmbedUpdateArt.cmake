# Compiles the update window's pictures (every PNG and JPEG beside this
# file, drawn by draw_update_art.py) into a library: found by file name and
# decoded at run time by UpdateArt.cpp. Re-run by CMake when a picture
# changes, comes or goes.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ZtEmbedFiles.cmake)

function(zt_embed_update_art target)
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.png ${dir}/*.jpg)
  list(SORT files)
  if(NOT files)
    message(FATAL_ERROR "No pictures in ${dir}: run draw_update_art.py there")
  endif()
  zt_embed_files(${target} ${CMAKE_CURRENT_BINARY_DIR}/UpdateArtData.cpp
                 "update/ui/UpdateArtData.h" zt::update_art_data ${files})
endfunction()
