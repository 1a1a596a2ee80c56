# The installed layout (`cmake --install`, and the Debian package made from it):
#   <prefix>/lib/vantaq/    the program folder, shaped like the build's bin/: the programs find
#                           EclCCE, its profile, the help file and system/ beside themselves
#   <prefix>/bin/           relative links to the programs users call
#   <prefix>/share/         desktop entry, icons, AppStream metainfo, man pages, copyright
set(VANTAQ_INSTALL_DIR lib/vantaq)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(VANTAQ_SCDOC scdoc REQUIRED)
find_program(VANTAQ_GZIP gzip REQUIRED)
find_program(VANTAQ_RSVG_CONVERT rsvg-convert REQUIRED)

set(VANTAQ_STAGE_DIR ${CMAKE_BINARY_DIR}/install-data)
file(MAKE_DIRECTORY ${VANTAQ_STAGE_DIR}/bin ${VANTAQ_STAGE_DIR}/man)

# `source` compressed as Debian wants it (gzip -9, no name or time stamp) into `output`.
function(vantaq_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${VANTAQ_GZIP} ${source} ${output}
        DEPENDS ${source} VERBATIM)
    set_property(GLOBAL APPEND PROPERTY VANTAQ_INSTALL_DATA ${output})
endfunction()

# vantaq_install_program(NAME [ON_PATH]): installs the program NAME (a target) into the program
# folder with its man page, made from data/man/NAME.1.scd; ON_PATH also links it into bin/.
function(vantaq_install_program name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "ON_PATH" "" "")
    install(TARGETS ${name} RUNTIME DESTINATION ${VANTAQ_INSTALL_DIR})
    if(ARG_ON_PATH)
        file(CREATE_LINK ../${VANTAQ_INSTALL_DIR}/${name} ${VANTAQ_STAGE_DIR}/bin/${name} SYMBOLIC)
        install(FILES ${VANTAQ_STAGE_DIR}/bin/${name} DESTINATION bin)
    endif()
    set(page ${CMAKE_SOURCE_DIR}/data/man/${name}.1.scd)
    if(NOT EXISTS ${page})
        message(FATAL_ERROR "${name} is installed but has no man page ${page}")
    endif()
    set(plain ${VANTAQ_STAGE_DIR}/man/${name}.1)
    add_custom_command(OUTPUT ${plain}
        COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${VANTAQ_SCDOC} ${page} ${plain}
        DEPENDS ${page} VERBATIM)
    vantaq_gzip(${plain} ${plain}.gz)
    install(FILES ${plain}.gz DESTINATION share/man/man1)
endfunction()

# The programs; one line each.
vantaq_install_program(vantaq ON_PATH)
vantaq_install_program(vantaq-pulldown ON_PATH)
vantaq_install_program(vantaq-probe ON_PATH)
vantaq_install_program(vantaq-reg ON_PATH)
vantaq_install_program(vantaq-author ON_PATH)
vantaq_install_program(EclCCE)
vantaq_install_program(cce)
vantaq_install_program(vantaq-job ON_PATH)
# The batch script sbatch is given on a cluster; it lies beside vantaq-job.
install(PROGRAMS ${VANTAQ_PROGRAM_DIR}/vantaq-job-exec.sh DESTINATION ${VANTAQ_INSTALL_DIR})

install(TARGETS vantaq_framesrv LIBRARY DESTINATION ${VANTAQ_INSTALL_DIR}/system)
install(FILES ${CMAKE_SOURCE_DIR}/data/vantaq.html DESTINATION ${VANTAQ_INSTALL_DIR})

# The runner's shared profile names the installed encoder, so it is written when the prefix is
# known: at install time (DESTDIR, where given, is only the staging root).
install(CODE "file(WRITE \"${VANTAQ_STAGE_DIR}/EclCCE.ini\"
    \"[EclCCE]\\nCCE=\${CMAKE_INSTALL_PREFIX}/${VANTAQ_INSTALL_DIR}/cce\\nPriority=-1\\n\")")
install(FILES ${VANTAQ_STAGE_DIR}/EclCCE.ini DESTINATION ${VANTAQ_INSTALL_DIR})

# Desktop integration: the menu entry, its icon in the hicolor theme, AppStream metainfo.
set(VANTAQ_APP_ID com.pellmoor.Vantaq)
install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/${VANTAQ_APP_ID}.desktop
        DESTINATION share/applications)
configure_file(${CMAKE_SOURCE_DIR}/data/desktop/${VANTAQ_APP_ID}.metainfo.xml.in
               ${VANTAQ_STAGE_DIR}/${VANTAQ_APP_ID}.metainfo.xml @ONLY)
install(FILES ${VANTAQ_STAGE_DIR}/${VANTAQ_APP_ID}.metainfo.xml DESTINATION share/metainfo)
set(icon ${CMAKE_SOURCE_DIR}/data/desktop/vantaq.svg)
install(FILES ${icon} DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 48 128)
    set(png ${VANTAQ_STAGE_DIR}/icons/${size}/vantaq.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTAQ_STAGE_DIR}/icons/${size}
        COMMAND ${VANTAQ_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${icon}
        DEPENDS ${icon} VERBATIM)
    set_property(GLOBAL APPEND PROPERTY VANTAQ_INSTALL_DATA ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# The package's documents.
configure_file(${CMAKE_SOURCE_DIR}/data/debian/changelog.in ${VANTAQ_STAGE_DIR}/changelog @ONLY)
vantaq_gzip(${VANTAQ_STAGE_DIR}/changelog ${VANTAQ_STAGE_DIR}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/data/debian/copyright ${VANTAQ_STAGE_DIR}/changelog.gz
        DESTINATION share/doc/vantaq)

get_property(VANTAQ_INSTALL_DATA GLOBAL PROPERTY VANTAQ_INSTALL_DATA)
add_custom_target(vantaq_install_data ALL DEPENDS ${VANTAQ_INSTALL_DATA})
