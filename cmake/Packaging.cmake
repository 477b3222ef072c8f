# The package for users: one zip with the program and its user guide, nothing else (no test
# programs, no demo server). `cmake --build --preset windows --target package` makes
# VXTVannikorde-<version>-win64.zip and its SHA-256 beside it in the build folder.

# The guide is kept with LF line ends and written with CR LF, as Windows editors expect.
configure_file(${PROJECT_SOURCE_DIR}/packaging/UPUTSTVO.txt.in ${PROJECT_BINARY_DIR}/UPUTSTVO.txt
               @ONLY NEWLINE_STYLE CRLF)

install(TARGETS VXTVannikorde RUNTIME DESTINATION . COMPONENT program)
install(FILES ${PROJECT_BINARY_DIR}/UPUTSTVO.txt DESTINATION . COMPONENT program)

# CPack's own ZIP writer stores each file's modification time and the builder's user and group
# ids, so the same commit would give a different zip for every builder and every build. CPack
# stages the files and cmake/PackageZip.cmake writes the zip from them: fixed entry order, every
# entry dated at the source date, fixed permissions and no owner ids.
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/PackageZip.cmake)
set(CPACK_VXT_SOURCE_DATE_FILE ${VXT_SOURCE_DATE_FILE})
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "BRAXO Tarnwell")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "BRAXO Tarnwell podaci uzivo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
# Only this project's own component: the test framework's install rules stay out of the zip.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES OFF)
include(CPack)
