# Compiles the main window's face and its image controls (every PNG beside
# this file, drawn by draw_skin_art.py) and the face's layout
# (skin_layout.json) into a library: found by file name and decoded at run
# time by src/app/skin/SkinArt.cpp. Re-run by CMake when a picture changes,
# comes or goes. The previews the drawing script writes on request are not
# part of the program.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ZtEmbedFiles.cmake)

function(zt_embed_skin_art target)
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  if(NOT EXISTS ${dir}/skin.png OR NOT EXISTS ${dir}/skin_layout.json)
    message(FATAL_ERROR "No face in ${dir}: run draw_skin_art.py there")
  endif()
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.png ${dir}/skin_layout.json)
  list(FILTER files EXCLUDE REGEX "/preview[^/]*$")
  list(SORT files)
  zt_embed_files(${target} ${CMAKE_CURRENT_BINARY_DIR}/SkinArtData.cpp
                 "app/skin/SkinArtData.h" zt::skin_art_data ${files})
endfunction()
