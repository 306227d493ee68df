# What the programs carry and where they are installed: the Windows resource (icon, version shown in
# the file's properties), the facts the Windows installer shares with it, the install rules and the
# Debian package (cpack -G DEB, scripts/package.sh).
set(ESCHF_PRODUCT_NAME "Загрузка ЭСЧФ")
set(ESCHF_PUBLISHER "eschf-loader project" CACHE STRING "Publisher shown in the file properties and the package")
set(ESCHF_CONTACT "eschf-loader maintainers <maintainers@users.noreply.c-seed-c84ac0dc.example>"
    CACHE STRING "Maintainer of the Debian package")
set(ESCHF_ICON_FILE ${PROJECT_SOURCE_DIR}/packaging/eschf-loader.ico)

set(ESCHF_SETTINGS_DIR "" CACHE PATH "Folder of MdbConnect.ini; empty: the program's own folder")
if(ESCHF_SETTINGS_DIR)
    target_compile_definitions(eschf_core PRIVATE ESCHF_SETTINGS_DIR="${ESCHF_SETTINGS_DIR}")
endif()

if(WIN32)
    enable_language(RC)
    function(eschf_windows_resource target description)
        set(ESCHF_RC_NAME ${target})
        set(ESCHF_RC_DESCRIPTION ${description})
        configure_file(${PROJECT_SOURCE_DIR}/packaging/program.rc.in
            ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
        target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    endfunction()
    eschf_windows_resource(eschf-loader "${ESCHF_PRODUCT_NAME}")
    eschf_windows_resource(eschf-import "${ESCHF_PRODUCT_NAME}: загрузка без окна")
    # The installer takes its name, publisher, version and icon from here (scripts/windows.sh).
    configure_file(${PROJECT_SOURCE_DIR}/packaging/product.nsh.in ${CMAKE_BINARY_DIR}/product.nsh @ONLY)
    return()
endif()

include(GNUInstallDirs)
set(ESCHF_DATA ${CMAKE_INSTALL_DATADIR}/eschf-loader)
set(ESCHF_DOC ${CMAKE_INSTALL_DATADIR}/doc/eschf-loader)
install(TARGETS eschf-loader eschf-import RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY db/ DESTINATION ${ESCHF_DATA}/db)
install(FILES demo/MdbConnect.ini demo/seed.sql DESTINATION ${ESCHF_DATA}/demo)
install(DIRECTORY demo/invoices DESTINATION ${ESCHF_DATA}/demo)
install(FILES packaging/eschf-loader.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 256)
    install(FILES packaging/eschf-loader-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME eschf-loader.png)
endforeach()
install(FILES packaging/copyright DESTINATION ${ESCHF_DOC})
# Debian wants the changelog compressed at the highest level and without a time stamp.
string(TIMESTAMP ESCHF_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/changelog VERBATIM)
add_custom_target(eschf_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${ESCHF_DOC})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME eschf-loader)
set(CPACK_PACKAGE_VENDOR ${ESCHF_PUBLISHER})
set(CPACK_PACKAGE_CONTACT ${ESCHF_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "loads Belarusian electronic VAT invoices into a database")
# The summary is the first line; CPack indents these.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Loads electronic VAT invoices (ESCHF, one XML file per invoice) from a folder
into the accounting database: Microsoft SQL Server through ODBC, or an
embedded SQLite database. eschf-loader is the window, eschf-import the same
run without one, for scheduled imports.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so no library dependency names them: the SQL drivers and the X11 platform.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-odbc, qt6-qpa-plugins")
# Qt's own texts in Russian; an ODBC driver for SQL Server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, tdsodbc")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
