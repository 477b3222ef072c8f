# The package for users: one zip with the program and its user guide, nothing else (no test
# programs, no demo server). `cmake --build --preset windows --target package` builds the program
# (only what it needs, in parallel with the build's jobs) and makes VXTVannikorde-<version>-win64.zip
# and VXTVannikorde-<version>-win64.zip.sha256 (sha256sum -c format) in the build folder, and
# nothing else there.
#
# With a code-signing certificate the program in the zip is signed (Authenticode, SHA-256) and
# the zip and its checksum are made from the signed program. Each setting is the cache variable
# or, when that is empty, the environment variable of the same name at the time of the package
# step (so that a secret need not be written into the build's cache):
#   VXT_SIGN_PKCS12          the certificate with its private key, a PKCS#12 file
#   VXT_SIGN_PASSWORD_FILE   a file whose first line is the PKCS#12 file's password
#   VXT_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamping server
# The signature never enters the build: the program the build links (and the tests run) stays
# unsigned and reproducible, and removing the signature gives it back byte for byte.

# The guide is kept with LF line ends and written with CR LF, as Windows editors expect.
configure_file(${PROJECT_SOURCE_DIR}/packaging/UPUTSTVO.txt.in ${PROJECT_BINARY_DIR}/UPUTSTVO.txt
               @ONLY NEWLINE_STYLE CRLF)

set(VXT_SIGN_PKCS12 "" CACHE FILEPATH
    "Code-signing certificate and key (PKCS#12) for the package's program; empty: the environment variable VXT_SIGN_PKCS12, else unsigned")
set(VXT_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the PKCS#12 password; empty: the environment variable VXT_SIGN_PASSWORD_FILE")
set(VXT_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping server for the signature; empty: the environment variable VXT_SIGN_TIMESTAMP_URL, else none")

# A build folder configured when the package was made by CPack still holds its configuration,
# from which CMake would make a `package` target of its own beside this one.
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)

add_custom_target(package
  COMMAND ${CMAKE_COMMAND}
          -DNAME=${PROJECT_NAME}-${PROJECT_VERSION}-win64
          -DPROGRAM=$<TARGET_FILE:VXTVannikorde>
          -DGUIDE=${PROJECT_BINARY_DIR}/UPUTSTVO.txt
          -DOUTPUT_DIR=${PROJECT_BINARY_DIR}
          -DSOURCE_DATE_FILE=${VXT_SOURCE_DATE_FILE}
          -DDESCRIPTION=${PROJECT_NAME}
          -DSIGN_PKCS12=${VXT_SIGN_PKCS12}
          -DSIGN_PASSWORD_FILE=${VXT_SIGN_PASSWORD_FILE}
          -DSIGN_TIMESTAMP_URL=${VXT_SIGN_TIMESTAMP_URL}
          -P ${CMAKE_CURRENT_LIST_DIR}/PackageZip.cmake
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  COMMENT "Making the users' package ${PROJECT_NAME}-${PROJECT_VERSION}-win64.zip"
  VERBATIM)
add_dependencies(package VXTVannikorde)
