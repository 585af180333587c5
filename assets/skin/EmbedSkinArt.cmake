# Compiles the main window's face and its image controls (every PNG beside
# this file, drawn by draw_skin_art.py) and the face's layout
# (skin_layout.json) into a library, so the program needs no files beside
# it: each file becomes a byte array in a generated source, found by its
# file name and decoded at run time by src/app/skin/SkinArt.cpp. Re-run by
# CMake when a picture changes, comes or goes. The previews the drawing
# script writes on request are not part of the program.
function(zt_embed_skin_art target)
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/SkinArtData.cpp)
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.png ${dir}/skin_layout.json)
  list(FILTER files EXCLUDE REGEX "/preview[^/]*$")
  list(SORT files)
  set(text "// Generated from assets/skin/ by EmbedSkinArt.cmake.\n#include \"app/skin/SkinArtData.h\"\n\nnamespace zt::skin_art_data {\n")
  set(entries "")
  set(count 0)
  foreach(file IN LISTS files)
    get_filename_component(name ${file} NAME)
    string(MAKE_C_IDENTIFIER "k_${name}" array)
    set_property(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
    string(APPEND text "static const unsigned char ${array}[${size}] = {\n${bytes}};\n")
    string(APPEND entries "    {\"${name}\", ${array}, ${size}},\n")
    math(EXPR count "${count} + 1")
  endforeach()
  if(NOT EXISTS ${dir}/skin.png OR NOT EXISTS ${dir}/skin_layout.json)
    message(FATAL_ERROR "No face in ${dir}: run draw_skin_art.py there")
  endif()
  string(APPEND text "\nconst EmbeddedFile kFiles[${count}] = {\n${entries}};\nconst std::size_t kFileCount = ${count};\n\n}  // namespace zt::skin_art_data\n")
  # Written through a copy so that unchanged pictures do not rebuild.
  file(WRITE ${out}.tmp "${text}")
  configure_file(${out}.tmp ${out} COPYONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()
