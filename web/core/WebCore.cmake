# The page's core: plexor_core.js + plexor_core.wasm, linked from the module libraries.
# Debian's Emscripten ships an older libc++; LibcxxCompat.h fills in what the core uses of
# C++20 there. Exceptions are WebAssembly's own (every current browser has them): the core
# reports failures by exception, and the JavaScript emulation would slow every call.
set(PLEXOR_WEB_FLAGS -fwasm-exceptions "SHELL:-include ${CMAKE_SOURCE_DIR}/web/core/LibcxxCompat.h")
foreach(module support dbf shp mif engine)
  target_compile_options(plexor_${module} PRIVATE ${PLEXOR_WEB_FLAGS})
endforeach()

add_executable(plexor_core ${CMAKE_SOURCE_DIR}/web/core/PlexorWeb.cpp)
target_compile_options(plexor_core PRIVATE ${PLEXOR_WEB_FLAGS})
target_link_libraries(plexor_core PRIVATE plexor_engine)
target_link_options(plexor_core PRIVATE
  -fwasm-exceptions
  -sMODULARIZE=1
  -sEXPORT_NAME=createPlexorCore
  -sENVIRONMENT=worker,node
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=33554432
  -sMAXIMUM_MEMORY=4294967296
  -sTOTAL_STACK=5242880
  -sEXIT_RUNTIME=0
  -sEXPORTED_FUNCTIONS=_plexor_web_coordsys,_plexor_web_info,_plexor_web_list,_plexor_web_convert
  -sEXPORTED_RUNTIME_METHODS=ccall,FS
  -lworkerfs.js
  "SHELL:--post-js ${CMAKE_SOURCE_DIR}/web/core/OutputSink.js"
  "SHELL:--post-js ${CMAKE_SOURCE_DIR}/web/core/LargeFiles.js")
set_target_properties(plexor_core PROPERTIES SUFFIX ".js")
set_property(TARGET plexor_core APPEND PROPERTY LINK_DEPENDS
  ${CMAKE_SOURCE_DIR}/web/core/OutputSink.js ${CMAKE_SOURCE_DIR}/web/core/LargeFiles.js)
