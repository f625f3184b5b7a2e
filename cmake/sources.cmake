# pelkan_sources(<var> <glob patterns...>): the sources of a folder for this build. Files named
# *_win.cpp are the Windows implementations of a seam and *_host.cpp the host ones; each build
# takes only its own.
function(pelkan_sources var)
  file(GLOB found CONFIGURE_DEPENDS ${ARGN})
  if(WIN32)
    list(FILTER found EXCLUDE REGEX "_host\\.cpp$")
  else()
    list(FILTER found EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${found} PARENT_SCOPE)
endfunction()
