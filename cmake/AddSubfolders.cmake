# Adds every folder below the current one that has a CMakeLists.txt of its own, so that
# a new tool or benchmark needs no edit here.
function(add_subfolders_with_cmakelists)
  file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${entries})
    if(EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
