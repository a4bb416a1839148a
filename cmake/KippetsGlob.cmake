# kippets_autogen_follows_sources(<target> <sources...>)
# Sources are globbed; when a header is added, the re-glob reconfigures the build but Ninja still
# sees AUTOMOC's outputs as fresh and never mocs the new header. Writing the source list to a file
# that AUTOMOC depends on makes it rerun exactly when the list changes.
function(kippets_autogen_follows_sources target)
    string(JOIN "\n" listing ${ARGN})
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.txt)
    file(CONFIGURE OUTPUT ${stamp} CONTENT "${listing}\n")
    set_property(TARGET ${target} APPEND PROPERTY AUTOGEN_TARGET_DEPENDS ${stamp})
endfunction()
