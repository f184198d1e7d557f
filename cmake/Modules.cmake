# One static library per module folder under src/, linked only along the module graph:
#   support <- dbf <- shp <- mif <- engine <- ui <- app,   engine <- cli
# Each library sees the headers of its own folder and of the modules it links, and no
# others: its include root holds a single link to its folder, so `#include "engine/..."`
# from src/shp finds nothing and the build fails where the graph is broken.

# plexor_module(NAME [EXCLUDE file...] [DEPENDS target...])
function(plexor_module name)
  cmake_parse_arguments(M "" "" "EXCLUDE;DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  foreach(excluded IN LISTS M_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/src/${name}/${excluded})
  endforeach()
  add_library(plexor_${name} STATIC ${sources})
  set(root ${CMAKE_BINARY_DIR}/modules/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)
  target_include_directories(plexor_${name} PUBLIC ${root})
  target_link_libraries(plexor_${name} PUBLIC ${M_DEPENDS})
endfunction()
