# Drives the web build (web/CMakeLists.txt) from the main build as an external project, only
# where emscripten's emcc and emcmake are found: the native programs never depend on it, and
# quab-export looks for its products (build/web/quab.wasm, page.html, page.js) when asked for a
# page. Debian's emcc runs on the machine's node and needs Debian's node modules, which a node
# from elsewhere does not search: NODE_PATH points it at them.
find_program(QUAB_EMCMAKE emcmake)
find_program(QUAB_EMCC emcc)
if(QUAB_EMCMAKE AND QUAB_EMCC)
    include(ExternalProject)
    set(QUAB_WEB_ENV ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
    ExternalProject_Add(quab_web
        SOURCE_DIR ${PROJECT_SOURCE_DIR}/web
        BINARY_DIR ${CMAKE_BINARY_DIR}/web-build
        CONFIGURE_COMMAND ${QUAB_WEB_ENV} ${QUAB_EMCMAKE} ${CMAKE_COMMAND} -S <SOURCE_DIR>
                          -B <BINARY_DIR> -DCMAKE_BUILD_TYPE=Release
                          -DQUAB_WEB_OUT=${CMAKE_BINARY_DIR}/web
        # A make of its own, not a child of the main make's job server.
        BUILD_COMMAND ${QUAB_WEB_ENV} --unset=MAKEFLAGS ${CMAKE_COMMAND} --build <BINARY_DIR>
                      --parallel 2
        INSTALL_COMMAND ""
        # The sources are the main tree's: the web build's own make decides what is stale.
        BUILD_ALWAYS TRUE
        EXCLUDE_FROM_ALL FALSE)
    set(QUAB_WEB_BUILD TRUE)
else()
    message(STATUS "emcc not found: no web build (quab-export OUT.html needs Debian's emscripten)")
    set(QUAB_WEB_BUILD FALSE)
endif()
