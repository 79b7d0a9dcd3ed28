# Installing Tapisto like a desktop program:
#   <prefix>/lib/tapisto/        tapisto, tapistoctl (a launcher) with libtapistoctl.so (its commands),
#                                libspilocal.so, the first-party *.spi and tapisto-spihelper, the
#                                process the plug-ins run in
#   <prefix>/bin/                links to the two executables
#   <prefix>/share/applications/ org.tapisto.Tapisto.desktop
#   <prefix>/share/metainfo/     org.tapisto.Tapisto.metainfo.xml, for software centres
#   <prefix>/share/icons/hicolor/ the program icon, as PNGs of several sizes and as SVG
#   <prefix>/share/doc/tapisto/  the user guide (the About box looks for it there)
# The executables and plug-ins share one folder because the program's folder is where the plug-in
# search looks; every installed binary finds libspilocal.so beside itself through RPATH $ORIGIN.
# An installed folder that the user cannot write makes the program keep its settings and groups in
# $XDG_CONFIG_HOME/tapisto.

set(TAPISTO_INSTALL_PKGDIR lib/tapisto)
set(TAPISTO_ICON_SVG ${PROJECT_SOURCE_DIR}/src/app/resources/tapisto.svg)
if(NOT EXISTS ${TAPISTO_ICON_SVG})
    set(TAPISTO_ICON_SVG ${PROJECT_SOURCE_DIR}/src/listedit/tapisto.svg)
endif()
set(TAPISTO_ICON_SIZES 16 22 24 32 48 64 128 256)

# The build's binaries already use the installed RPATH: everything they load lies beside them in
# build/bin too, and no padding for a later rewrite leaves empty entries (the current folder) in it.
foreach(exe tapisto tapistoctl)
    if(TARGET ${exe})
        set_target_properties(${exe} PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
        install(TARGETS ${exe} RUNTIME DESTINATION ${TAPISTO_INSTALL_PKGDIR})
        # A relative link, so that a staged install (DESTDIR) can be moved as a whole.
        install(CODE "
            set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${exe}\")
            file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
            file(REMOVE \"\${link}\")
            file(CREATE_LINK ../${TAPISTO_INSTALL_PKGDIR}/${exe} \"\${link}\" SYMBOLIC)
            message(STATUS \"Installing: \${link} -> ../${TAPISTO_INSTALL_PKGDIR}/${exe}\")
            list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/bin/${exe}\")")
    endif()
endforeach()

# tapistoctl's command library, which the launcher loads from its own folder.
if(TARGET tapistoctl_commands)
    set_target_properties(tapistoctl_commands PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
    install(TARGETS tapistoctl_commands LIBRARY DESTINATION ${TAPISTO_INSTALL_PKGDIR})
endif()

# The plug-in library and the first-party plug-ins (their INSTALL_RPATH is already $ORIGIN). The
# test plug-ins are never installed.
foreach(lib spilocal png gif webp tiff)
    if(TARGET ${lib})
        install(TARGETS ${lib} LIBRARY DESTINATION ${TAPISTO_INSTALL_PKGDIR})
    endif()
endforeach()
# The helper process that runs the plug-ins' code, beside libspilocal.so where the host looks for it.
if(TARGET tapisto-spihelper)
    install(TARGETS tapisto-spihelper RUNTIME DESTINATION ${TAPISTO_INSTALL_PKGDIR})
endif()

# The desktop entry names the installed programs by their full paths, so that they start from the
# menu whatever the prefix and whether or not <prefix>/bin is on PATH.
install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/data/org.tapisto.Tapisto.desktop\" entry)
    foreach(key Exec TryExec)
        string(REPLACE \"\\n\${key}=tapisto\\n\" \"\\n\${key}=\${CMAKE_INSTALL_PREFIX}/bin/tapisto\\n\"
               entry \"\${entry}\")
    endforeach()
    # The actions (次へ, 戻る, 一時停止, 再開) run tapistoctl beside it.
    string(REPLACE \"\\nExec=tapistoctl \" \"\\nExec=\${CMAKE_INSTALL_PREFIX}/bin/tapistoctl \" entry \"\${entry}\")
    set(dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/org.tapisto.Tapisto.desktop\")
    file(WRITE \"\${dest}\" \"\${entry}\")
    message(STATUS \"Installing: \${dest}\")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/share/applications/org.tapisto.Tapisto.desktop\")")

# The screenshots of the software-centre entry are the user guide's pictures, where the guide is
# published on the web (AppStream wants web addresses for them).
set(TAPISTO_WEB_URL "https://tapisto.org" CACHE STRING "Web address where docs/ (the user guide) is published")
configure_file(${PROJECT_SOURCE_DIR}/data/org.tapisto.Tapisto.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/data/org.tapisto.Tapisto.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/org.tapisto.Tapisto.metainfo.xml DESTINATION share/metainfo)

# The icon: PNGs drawn from the program's SVG at build time, and the SVG itself.
if(EXISTS ${TAPISTO_ICON_SVG})
    add_executable(tapisto_iconpng ${PROJECT_SOURCE_DIR}/data/IconPng.cpp)
    target_link_libraries(tapisto_iconpng PRIVATE tapisto_options Qt6::Gui Qt6::Svg)
    set_target_properties(tapisto_iconpng PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
    set(icon_dir ${CMAKE_BINARY_DIR}/icons)
    string(REPLACE ";" ", " icon_size_text "${TAPISTO_ICON_SIZES}")
    set(icon_pngs)
    foreach(size ${TAPISTO_ICON_SIZES})
        list(APPEND icon_pngs ${icon_dir}/${size}/tapisto.png)
    endforeach()
    add_custom_command(
        OUTPUT ${icon_pngs}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=default.warning=false
                $<TARGET_FILE:tapisto_iconpng> ${TAPISTO_ICON_SVG} ${icon_dir} ${TAPISTO_ICON_SIZES}
        DEPENDS tapisto_iconpng ${TAPISTO_ICON_SVG}
        COMMENT "Drawing the program icon at ${icon_size_text} pixels"
        VERBATIM)
    add_custom_target(tapisto_icons ALL DEPENDS ${icon_pngs})
    foreach(size ${TAPISTO_ICON_SIZES})
        install(FILES ${icon_dir}/${size}/tapisto.png DESTINATION share/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES ${TAPISTO_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION share/doc/tapisto)

include(TapistoPackage)
