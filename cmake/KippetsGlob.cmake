# kippets_autogen_follows_sources(<target> <sources...>)
# Sources are globbed. When a header is added, the re-glob reconfigures the build, but with Ninja
# AUTOMOC's step depends on the source list only order-wise and never mocs the new header.
# When the list changed since the last configure, dropping AUTOMOC's timestamp makes it rerun.
function(kippets_autogen_follows_sources target)
    string(JOIN "\n" listing ${ARGN})
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.txt)
    set(previous "")
    if(EXISTS ${stamp})
        file(READ ${stamp} previous)
    endif()
    if(NOT previous STREQUAL "${listing}")
        file(WRITE ${stamp} "${listing}")
        file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
    endif()
endfunction()
