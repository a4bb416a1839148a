# kippets_add_desktop_entry(<target>)
# Installs what a Linux desktop needs to list and start the app: a desktop entry naming the
# installed <target>, and the app's icon in the hicolor theme. The icon is the bundled tray
# symbol in white on a rounded tile of the kippet blue, in the proportions AppIconEngine draws
# the windows' icon with.
function(kippets_add_desktop_entry target)
    set(symbol ${CMAKE_SOURCE_DIR}/third_party/phosphor/assets/fill/tray-fill.svg)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${symbol})
    file(READ ${symbol} drawing)
    # The symbol's own shapes: what lies between its <svg ...> and </svg>.
    string(REGEX REPLACE "^[^>]*<svg[^>]*>(.*)</svg>[ \n]*$" "\\1" shapes "${drawing}")
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/kippets.svg)
    # A 256-unit tile inset by 8 with corners of 56; the symbol, 160 units square, in its middle.
    file(WRITE ${icon} "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 256 256\">\
<rect x=\"8\" y=\"8\" width=\"240\" height=\"240\" rx=\"56\" fill=\"#007AFF\"/>\
<g fill=\"#FFFFFF\" transform=\"translate(48 48) scale(0.625)\">${shapes}</g></svg>\n")
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

    # Written at install time, so that Exec names the binary where it is installed, also when
    # the prefix is given to `cmake --install --prefix`. StartupWMClass is the windows' X class,
    # which Qt takes from the application name.
    set(bindir ${CMAKE_INSTALL_BINDIR})
    set(datadir ${CMAKE_INSTALL_DATADIR})
    set(name $<TARGET_FILE_NAME:${target}>)
    install(CODE "
        set(binary \"\${CMAKE_INSTALL_PREFIX}/${bindir}/${name}\")
        if(binary MATCHES \" \")
            set(binary \"\\\"\${binary}\\\"\")
        endif()
        set(entry \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${datadir}/applications/kippets.desktop\")
        message(STATUS \"Installing: \${entry}\")
        file(WRITE \"\${entry}\" \"[Desktop Entry]
Type=Application
Name=Kippets
GenericName=Desktop Organizer
Comment=Floating panels that keep files, links, notes and todos at hand
Exec=\${binary}
Icon=kippets
Terminal=false
Categories=Utility;
StartupWMClass=Kippets
\")
    ")
endfunction()
