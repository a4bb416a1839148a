# kippets_add_symbols(<target>)
# Compiles the bundled symbols into <target>: ":/symbols/<symbol name>.svg" for every row of
# resources/symbols.tsv (several names may share one file) and the set's licence as
# ":/licenses/phosphor.txt". The files come from the set scripts/setup fetches; the resource is
# named "symbols", so code that draws them calls Q_INIT_RESOURCE(symbols) once (static library).
function(kippets_add_symbols target)
    set(table ${CMAKE_SOURCE_DIR}/resources/symbols.tsv)
    set(set_dir ${CMAKE_SOURCE_DIR}/third_party/phosphor)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})
    if(NOT EXISTS ${set_dir}/LICENSE)
        message(FATAL_ERROR "The symbol set is missing from ${set_dir}: run scripts/setup (make setup)")
    endif()

    file(STRINGS ${table} rows)
    set(entries "")
    foreach(row IN LISTS rows)
        if(row MATCHES "^#" OR row STREQUAL "")
            continue()
        endif()
        string(REPLACE "\t" ";" fields "${row}")
        list(GET fields 0 name)
        list(GET fields 1 file)
        if(NOT EXISTS ${set_dir}/assets/${file})
            message(FATAL_ERROR "Symbol ${name}: ${set_dir}/assets/${file} is missing: run scripts/setup")
        endif()
        string(APPEND entries "        <file alias=\"${name}.svg\">${set_dir}/assets/${file}</file>\n")
    endforeach()

    set(qrc ${CMAKE_CURRENT_BINARY_DIR}/symbols.qrc)
    file(CONFIGURE OUTPUT ${qrc} @ONLY CONTENT "<RCC>
    <qresource prefix=\"/symbols\">
${entries}    </qresource>
    <qresource prefix=\"/licenses\">
        <file alias=\"phosphor.txt\">${set_dir}/LICENSE</file>
    </qresource>
</RCC>
")
    qt6_add_resources(compiled ${qrc})
    target_sources(${target} PRIVATE ${compiled})
endfunction()
