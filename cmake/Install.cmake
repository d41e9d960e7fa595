# Installing as Debian users do, and the .deb package (cpack -G DEB in the build folder).
#
#   /usr/lib/tablewright/            the program folder: tablewright, HAND-M.CUR,
#                                    tablewright.png, Samples/sample.mdb and Samples/
#   /usr/bin/tablewright             a link to the program in its folder (the program finds
#                                    its folder through the link's target)
#   /usr/bin/tablewright-convert     the headless converter (and its manual pages; src/cli
#                                    installs those)
#   /usr/share/applications/tablewright.desktop, /usr/share/icons/hicolor/256x256/apps/
#   tablewright.png                  the desktop menu entry and its icon

set(TW_PROGRAM_DIR lib/tablewright)

install(TARGETS tablewright RUNTIME DESTINATION ${TW_PROGRAM_DIR})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
file(CREATE_LINK ../${TW_PROGRAM_DIR}/tablewright ${CMAKE_BINARY_DIR}/launcher/tablewright SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/launcher/tablewright DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tablewright.desktop DESTINATION share/applications)
install(FILES ${CMAKE_BINARY_DIR}/bin/HAND-M.CUR ${CMAKE_BINARY_DIR}/bin/tablewright.png
        DESTINATION ${TW_PROGRAM_DIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/tablewright.png DESTINATION share/icons/hicolor/256x256/apps)
install(FILES ${CMAKE_BINARY_DIR}/bin/Samples/sample.mdb DESTINATION ${TW_PROGRAM_DIR}/Samples)

set(CPACK_PACKAGE_NAME tablewright)
set(CPACK_PACKAGE_VENDOR "Quernfield")
set(CPACK_PACKAGE_CONTACT "Quernfield <support@quernfield.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Copies Microsoft Access tables into Visual FoxPro tables")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
