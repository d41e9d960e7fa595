# Installing as Debian users do, and the .deb package (cpack -G DEB in the build folder).
#
#   /usr/bin/tablewright, /usr/bin/tablewright-convert
#                                    the desktop program and the headless converter
#   /usr/share/tablewright/          the program's files: HAND-M.CUR, tablewright.png,
#                                    Samples/sample.mdb (the program finds this folder
#                                    beside its bin/, see ProgramDataFolder)
#   /usr/share/applications/tablewright.desktop, /usr/share/icons/hicolor/NxN/apps/
#   tablewright.png                  the menu entry ("Open with" for .mdb and .accdb) and
#                                    its icon at 48, 64, 128 and 256 pixels
#   /usr/share/metainfo/com.quernfield.tablewright.metainfo.xml
#                                    what software centres list
#   /usr/share/mime/packages/tablewright.xml
#                                    the .accdb file type, which the shared MIME database lacks
#   /usr/share/man/man1/*.1.gz       the manual pages (src/cli installs them; gzipped here)
#   /usr/share/doc/tablewright/      copyright (machine-readable) and changelog.gz

include(GNUInstallDirs)

# What users install is hardened: fortified libc calls in the libraries and programs of
# src/ (optimised builds only: the checks need optimisation), and the programs linked with
# full RELRO. TW_FORTIFY=OFF leaves out the first, for a developer's quicker rebuilds: the
# definition changes every object of src/.
option(TW_FORTIFY "Build src/ with _FORTIFY_SOURCE=2 (optimised builds)" ON)
function(tw_harden_targets dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(TW_FORTIFY AND (type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "EXECUTABLE"))
      target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    endif()
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    tw_harden_targets(${subdir})
  endforeach()
endfunction()
get_property(tw_top_dirs DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
foreach(dir ${tw_top_dirs})
  if(dir MATCHES "^${CMAKE_SOURCE_DIR}/src/")
    tw_harden_targets(${dir})
  endif()
endforeach()

set(TW_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tablewright)
set(TW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tablewright)
install(TARGETS tablewright RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/HAND-M.CUR ${CMAKE_BINARY_DIR}/bin/tablewright.png DESTINATION ${TW_DATA_DIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/Samples/sample.mdb DESTINATION ${TW_DATA_DIR}/Samples)
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tablewright.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/com.quernfield.tablewright.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tablewright-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tablewright.xml)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${TW_DOC_DIR})

# The changelog goes gzipped (-n: no name or time inside, so the file is the same each time).
set(TW_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${TW_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9n < '${CMAKE_SOURCE_DIR}/packaging/changelog' > '${TW_CHANGELOG_GZ}'"
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(tw_changelog ALL DEPENDS ${TW_CHANGELOG_GZ})
install(FILES ${TW_CHANGELOG_GZ} DESTINATION ${TW_DOC_DIR})

# src/cli installs the manual pages as written; Debian wants them gzipped. This rule runs
# after that one (install rules run in the order they were declared).
install(CODE "
  file(GLOB pages \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/*.1\")
  foreach(page \${pages})
    execute_process(COMMAND gzip -9nf \${page} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR \"cannot compress \${page}\")
    endif()
  endforeach()")

set(CPACK_PACKAGE_NAME tablewright)
set(CPACK_PACKAGE_VENDOR "Quernfield")
set(CPACK_PACKAGE_CONTACT "Quernfield <support@quernfield.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy Microsoft Access tables into Visual FoxPro tables")
# The extended description; CPack puts the summary above it as the synopsis and indents
# each line as dpkg wants (so no line may start with a dot).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tablewright copies the user tables of Microsoft Access databases
(.mdb and .accdb, with an optional database password) into Visual FoxPro 9
tables: free tables in a folder, or tables inside a database container (.dbc).
It reads the Access files and writes the FoxPro tables itself; neither Access
nor FoxPro is needed.

The desktop program shows the SQL of every table before it is executed, for
editing, searching and copying, and the type each field becomes. The headless
converter, tablewright-convert, does the same from scripts.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quernfield.com/")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
