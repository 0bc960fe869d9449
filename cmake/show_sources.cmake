# The core's sources and the asset reader's, listed once: the native libraries (core/ and
# assets/ CMakeLists.txt) and the web page's module (web/CMakeLists.txt) are built from these.
set(QUAB_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/../core/sequencer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/seek.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/tables.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/scenes_1_2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/scenes_3_4.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/scenes_5_6.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/scenes_7_8.cpp)
set(QUAB_ASSET_READER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../assets/assets.cpp)
