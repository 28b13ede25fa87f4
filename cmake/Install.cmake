# The installed layout (cmake --install, and the Debian package built by
# cpack). The client's own read-only files sit together in its application
# folder, which carries no portable marker: an installed client keeps its
# settings and downloaded skins in the user's folders and never writes
# under the prefix. The local service and its sample skins come along, so
# that the package works on its own.
include(GNUInstallDirs)
set(LUMO_INSTALL_APP_DIR ${CMAKE_INSTALL_LIBEXECDIR}/lumo)

install(TARGETS lumo lumo-service lumo-webengine
        RUNTIME DESTINATION ${LUMO_INSTALL_APP_DIR}
        LIBRARY DESTINATION ${LUMO_INSTALL_APP_DIR})
install(FILES ${LUMO_APP_DIR}/info.txt ${LUMO_APP_DIR}/history.txt
        DESTINATION ${LUMO_INSTALL_APP_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/res/loading.html ${CMAKE_SOURCE_DIR}/res/loading.jpg
        DESTINATION ${LUMO_INSTALL_APP_DIR}/res)
install(DIRECTORY ${CMAKE_BINARY_DIR}/skins-sample/ DESTINATION ${LUMO_INSTALL_APP_DIR}/skins-sample)

# bin/ links to the programs in the application folder, which find their
# files beside themselves.
file(RELATIVE_PATH LUMO_BIN_TO_APP /${CMAKE_INSTALL_BINDIR} /${LUMO_INSTALL_APP_DIR})
foreach(program lumo lumo-service)
    install(CODE "
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK ${LUMO_BIN_TO_APP}/${program}
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/app/lumo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/lumo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/app/lumo.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)

# Manual pages and the Debian changelog, compressed as Debian wants them.
find_program(GZIP gzip REQUIRED)
set(LUMO_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(packaging_outputs)
foreach(entry lumo.1:lumo.1.gz lumo-service.1:lumo-service.1.gz changelog:changelog.gz)
    string(REPLACE ":" ";" pair ${entry})
    list(GET pair 0 source)
    list(GET pair 1 output)
    add_custom_command(
        OUTPUT ${LUMO_PACKAGING_DIR}/${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMO_PACKAGING_DIR}
        COMMAND ${GZIP} -9n -c ${CMAKE_SOURCE_DIR}/packaging/${source} > ${LUMO_PACKAGING_DIR}/${output}
        DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${source}
        VERBATIM)
    list(APPEND packaging_outputs ${LUMO_PACKAGING_DIR}/${output})
endforeach()
add_custom_target(lumo_packaging_files ALL DEPENDS ${packaging_outputs})
install(FILES ${LUMO_PACKAGING_DIR}/lumo.1.gz ${LUMO_PACKAGING_DIR}/lumo-service.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${LUMO_PACKAGING_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumo)
