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
# it; SOURCES are relative to the calling CMakeLists.txt.
function(zt_add_layer target)
  cmake_parse_arguments(L "" "" "FOLDERS;SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${target} STATIC ${L_SOURCES})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  foreach(folder IN LISTS L_FOLDERS)
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
endfunction()
