# Each source folder is one library on a floor of the program. zentrova_floor(NAME FLOORS ...
# SOURCES ... [LIBRARIES ...]) makes the library zentrova_NAME, linked to the libraries of the
# floors it names. Its headers are reached as "NAME/file.h" through an include folder that holds
# this folder alone, so a file sees the headers of its own floor and of the floors it links, and
# an include of any other floor does not build.
function(zentrova_floor name)
  cmake_parse_arguments(FLOOR "" "" "FLOORS;SOURCES;LIBRARIES" ${ARGN})
  set(target zentrova_${name})
  add_library(${target} STATIC ${FLOOR_SOURCES})
  set(root ${CMAKE_BINARY_DIR}/floors/${name})
  file(MAKE_DIRECTORY ${root})
  if(NOT EXISTS ${root}/${name})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC COPY_ON_ERROR)
  endif()
  target_include_directories(${target} PUBLIC ${root})
  set(libraries)
  foreach(floor ${FLOOR_FLOORS})
    list(APPEND libraries zentrova_${floor})
  endforeach()
  target_link_libraries(${target} PUBLIC ${libraries} ${FLOOR_LIBRARIES})
endfunction()
