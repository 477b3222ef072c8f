# The package for users: one zip with the program and its user guide, nothing else (no test
# programs, no demo server). `cmake --build --preset windows --target package` makes
# VXTVannikorde-<version>-win64.zip and its SHA-256 beside it in the build folder.

# The guide is kept with LF line ends and written with CR LF, as Windows editors expect.
configure_file(${PROJECT_SOURCE_DIR}/packaging/UPUTSTVO.txt.in ${PROJECT_BINARY_DIR}/UPUTSTVO.txt
               @ONLY NEWLINE_STYLE CRLF)

install(TARGETS VXTVannikorde RUNTIME DESTINATION . COMPONENT program)
install(FILES ${PROJECT_BINARY_DIR}/UPUTSTVO.txt DESTINATION . COMPONENT program)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "BRAXO Tarnwell")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "BRAXO Tarnwell podaci uzivo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
# Unpacking gives one folder of that name, with the program and the guide in it.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Only this project's own component: the test framework's install rules stay out of the zip.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES OFF)
include(CPack)
