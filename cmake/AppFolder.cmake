# Lays out the application folder in the build tree: the executable's
# folder also holds res/ and the GBK texts info.txt and history.txt, as an
# installation does, and it is a portable one: the marker file says so, and
# the empty skins/ folder is its skin cache.
file(MAKE_DIRECTORY ${LUMO_APP_DIR}/res ${LUMO_APP_DIR}/skins)
file(WRITE ${LUMO_APP_DIR}/portable
     "This folder is a portable Lumo: settings.cfg and skins/ are kept here.\n")
foreach(resource loading.html loading.jpg)
    configure_file(${CMAKE_SOURCE_DIR}/res/${resource} ${LUMO_APP_DIR}/res/${resource} COPYONLY)
endforeach()

# The texts are kept in UTF-8 here and shipped in the client's code page.
find_program(ICONV iconv REQUIRED)
foreach(text info.txt history.txt)
    set(source ${CMAKE_SOURCE_DIR}/app/${text})
    execute_process(COMMAND ${ICONV} -f UTF-8 -t GBK ${source}
                    OUTPUT_FILE ${LUMO_APP_DIR}/${text} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "Cannot convert ${source} to GBK")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endforeach()
