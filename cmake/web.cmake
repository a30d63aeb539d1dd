# The browser build: the game as WebAssembly, its reads and pauses made
# asynchronous by Asyncify, put with the page's terminal into one HTML file
# that plays offline, opened straight from disk.
set_target_properties(reedmere PROPERTIES SUFFIX .js)
target_link_options(reedmere PRIVATE -sASYNCIFY -sMODULARIZE -sEXPORT_NAME=createReedmere -sINVOKE_RUN=0
  -sEXIT_RUNTIME -sSINGLE_FILE -sENVIRONMENT=web -sFILESYSTEM=0 -sEXPORTED_FUNCTIONS=_main,_exit -sEXPORTED_RUNTIME_METHODS=ccall)
# emcc's optimizer needs acorn, which Debian keeps outside node's own path.
if(EXISTS /usr/share/nodejs/acorn)
  set_target_properties(reedmere PROPERTIES CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=/usr/share/nodejs")
endif()

find_program(REEDMERE_NODE node REQUIRED)
if(NOT EXISTS ${CMAKE_SOURCE_DIR}/node_modules/esbuild)
  message(FATAL_ERROR "The page is built with npm packages: run 'npm ci' in ${CMAKE_SOURCE_DIR} first")
endif()
set(web ${CMAKE_SOURCE_DIR}/console/web)
add_custom_command(OUTPUT reedmere.html
  COMMAND ${REEDMERE_NODE} ${web}/build.mjs $<TARGET_FILE:reedmere> ${CMAKE_BINARY_DIR}/reedmere.html
  DEPENDS reedmere ${web}/build.mjs ${web}/terminal.js ${web}/narrator.js ${web}/page.html ${CMAKE_SOURCE_DIR}/packaging/reedmere.svg
    ${CMAKE_SOURCE_DIR}/package-lock.json
  VERBATIM)
add_custom_target(reedmere_page ALL DEPENDS reedmere.html)
