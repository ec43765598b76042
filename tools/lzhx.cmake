# lzhx: lists and extracts LZH archives like the updater (host and Windows console).
mw_add_executable(lzhx SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/lzhx.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lzhx_platform.cpp
    LIBS lzh)
