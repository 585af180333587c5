# One static library per subsystem, each seeing only its own headers and
# those of the libraries it links.
#
# Every library gets an include root of its own in the build tree that
# holds a link to its source folder and nothing else; the include roots of
# the layers below reach it through the public links. An include of a
# layer above (or beside) is not found, so the build refuses a dependency
# against the layers' direction instead of letting it grow unnoticed.
#
#   zt_add_layer(<target> FOLDERS <folder under src/>...
#                SOURCES <files>... [PUBLIC <targets>...] [PRIVATE <targets>...])
#
# FOLDERS are exposed as <folder>/... to the library and to whatever links
# it, except their ui/ folders (windows and controls), which only the
# widgets library exposes (zt_add_widgets); SOURCES are relative to the
# calling CMakeLists.txt.
function(zt_add_layer target)
  cmake_parse_arguments(L "" "" "FOLDERS;SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${target} STATIC ${L_SOURCES})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  foreach(folder IN LISTS L_FOLDERS)
    _zt_link_without_ui(${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder})
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
endfunction()

# Adds a subsystem's ui/ sources to zt_widgets and exposes its ui/ folder
# (relative to src/) to the widgets library alone.
#   zt_add_widgets(UI_FOLDER <folder>/ui SOURCES <files>...)
function(zt_add_widgets)
  cmake_parse_arguments(W "" "UI_FOLDER" "SOURCES" ${ARGN})
  target_sources(zt_widgets PRIVATE ${W_SOURCES})
  set(link ${CMAKE_BINARY_DIR}/layers/zt_widgets/${W_UI_FOLDER})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${W_UI_FOLDER} ${link} SYMBOLIC)
endfunction()

# Mirrors `source` at `dest` with links: a folder without a ui/ folder
# anywhere below it is one link; one with is a real folder whose entries
# are linked the same way, leaving ui/ out. CMake runs again when an
# entry of such a folder comes or goes.
function(_zt_link_without_ui source dest)
  file(GLOB_RECURSE uis LIST_DIRECTORIES true RELATIVE ${source} ${source}/*)
  list(FILTER uis INCLUDE REGEX "(^|/)ui$")
  if(NOT uis)
    get_filename_component(parent ${dest} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${source} ${dest} SYMBOLIC)
    return()
  endif()
  file(REMOVE ${dest})
  file(MAKE_DIRECTORY ${dest})
  file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true RELATIVE ${source} ${source}/*)
  foreach(entry IN LISTS entries)
    if(entry STREQUAL "ui" OR entry STREQUAL "CMakeLists.txt")
      continue()
    endif()
    if(IS_DIRECTORY ${source}/${entry})
      _zt_link_without_ui(${source}/${entry} ${dest}/${entry})
    else()
      file(CREATE_LINK ${source}/${entry} ${dest}/${entry} SYMBOLIC)
    endif()
  endforeach()
endfunction()
