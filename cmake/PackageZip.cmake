# cmake -DNAME=... -DPROGRAM=... -DGUIDE=... -DOUTPUT_DIR=... -DSOURCE_DATE_FILE=...
#       -DDESCRIPTION=... [-DSIGN_PKCS12=... -DSIGN_PASSWORD_FILE=... -DSIGN_TIMESTAMP_URL=...]
#       -P PackageZip.cmake
# Writes OUTPUT_DIR/NAME.zip, holding one folder NAME with the program and the guide, and
# OUTPUT_DIR/NAME.zip.sha256. The zip has the same bytes for the same files whoever builds it and
# whenever:
#  - entries in a fixed order (the folder, then its files sorted by name), listed one by one
#    rather than by a directory walk, whose order is the file system's;
#  - every entry dated at the source date in UTC (zip stores local time, 2-second steps);
#  - permissions 755 for the folder and 644 for the files, whatever the builder's umask;
#  - no extra fields (zip -X): they would carry the builder's user and group ids and the
#    files' own times.
# With a certificate (see Packaging.cmake) the folder's program is signed first. The zip and its
# checksum appear only once everything has succeeded: a failure leaves neither them nor a signed
# or half-signed program behind (the zip of an earlier run is removed first).
set(zip_file ${OUTPUT_DIR}/${NAME}.zip)
set(sum_file ${zip_file}.sha256)
set(work ${OUTPUT_DIR}/package-work)
set(stage ${work}/${NAME})

file(REMOVE ${zip_file} ${sum_file})
file(REMOVE_RECURSE ${work})

macro(fail)
  file(REMOVE_RECURSE ${work})
  message(FATAL_ERROR ${ARGN})
endmacro()

# A setting from the command line (the cache variable), else from the environment.
foreach(setting PKCS12 PASSWORD_FILE TIMESTAMP_URL)
  if("${SIGN_${setting}}" STREQUAL "" AND DEFINED ENV{VXT_SIGN_${setting}})
    set(SIGN_${setting} "$ENV{VXT_SIGN_${setting}}")
  endif()
endforeach()
set(signing OFF)
if(NOT SIGN_PKCS12 STREQUAL "")
  set(signing ON)
elseif(NOT SIGN_PASSWORD_FILE STREQUAL "" OR NOT SIGN_TIMESTAMP_URL STREQUAL "")
  fail("VXT_SIGN_PASSWORD_FILE or VXT_SIGN_TIMESTAMP_URL is set, but no certificate "
       "(VXT_SIGN_PKCS12): the package is not made")
endif()

find_program(ZIP zip)
if(NOT ZIP)
  fail("zip is missing: install the Debian package zip (bash scripts/install-deps.sh)")
endif()
file(STRINGS ${SOURCE_DATE_FILE} epoch LIMIT_COUNT 1)
if(NOT epoch MATCHES "^[0-9]+$")
  fail("no source date in ${SOURCE_DATE_FILE}")
endif()

file(MAKE_DIRECTORY ${stage})
get_filename_component(program_name ${PROGRAM} NAME)
file(COPY_FILE ${PROGRAM} ${stage}/${program_name})
file(COPY_FILE ${GUIDE} ${stage}/UPUTSTVO.txt)

if(signing)
  # Relative paths are taken from the build folder; the errors name the file as it was looked for.
  get_filename_component(SIGN_PKCS12 "${SIGN_PKCS12}" ABSOLUTE)
  if(NOT EXISTS "${SIGN_PKCS12}" OR IS_DIRECTORY "${SIGN_PKCS12}")
    fail("the certificate file ${SIGN_PKCS12} (VXT_SIGN_PKCS12) does not exist: the package is "
         "not made")
  endif()
  if(SIGN_PASSWORD_FILE STREQUAL "")
    fail("VXT_SIGN_PKCS12 is set, but no file holding its password (VXT_SIGN_PASSWORD_FILE): the "
         "package is not made")
  endif()
  get_filename_component(SIGN_PASSWORD_FILE "${SIGN_PASSWORD_FILE}" ABSOLUTE)
  if(NOT EXISTS "${SIGN_PASSWORD_FILE}" OR IS_DIRECTORY "${SIGN_PASSWORD_FILE}")
    fail("the password file ${SIGN_PASSWORD_FILE} (VXT_SIGN_PASSWORD_FILE) does not exist: the "
         "package is not made")
  endif()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    fail("osslsigncode is missing: install the Debian package osslsigncode "
         "(bash scripts/install-deps.sh)")
  endif()

  set(unsigned ${stage}/${program_name})
  set(signed ${work}/signed.exe)
  set(timestamp)
  if(NOT SIGN_TIMESTAMP_URL STREQUAL "")
    set(timestamp -ts ${SIGN_TIMESTAMP_URL})
  endif()
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${SIGN_PKCS12} -readpass ${SIGN_PASSWORD_FILE}
            -h sha256 -n ${DESCRIPTION} ${timestamp} -in ${unsigned} -out ${signed}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT EXISTS ${signed})
    string(STRIP "${output}" output)
    fail("${program_name} could not be signed with the certificate ${SIGN_PKCS12} and the "
         "password in ${SIGN_PASSWORD_FILE} (a wrong password, a file that is not PKCS#12, or an "
         "unreachable time-stamping server): the package is not made. osslsigncode said:\n"
         "${output}")
  endif()

  # Anyone can check a signed release against the source only if removing the signature gives
  # back the program the build made. osslsigncode pads the file to 8 bytes and rewrites the PE
  # checksum, and undoes neither: this holds because the linker ends the file at its 512-byte
  # file alignment and writes the correct checksum. Checked here, so that a release is never
  # signed without it.
  set(restored ${work}/unsigned-again.exe)
  execute_process(COMMAND ${OSSLSIGNCODE} remove-signature -in ${signed} -out ${restored}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE output)
  file(SHA256 ${unsigned} unsigned_hash)
  if(result EQUAL 0 AND EXISTS ${restored})
    file(SHA256 ${restored} restored_hash)
  else()
    set(restored_hash "(osslsigncode remove-signature failed: ${output})")
  endif()
  if(NOT restored_hash STREQUAL unsigned_hash)
    fail("removing the signature from the signed ${program_name} does not give back the "
         "unsigned one (SHA-256 ${unsigned_hash}, got ${restored_hash}): the package is not made")
  endif()
  file(RENAME ${signed} ${unsigned})
  file(REMOVE ${restored})
  message(STATUS "${program_name} signed with ${SIGN_PKCS12}")
endif()

file(GLOB files RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(entries ${NAME})
foreach(file IN LISTS files)
  list(APPEND entries ${NAME}/${file})
endforeach()

execute_process(
  COMMAND chmod 755 ${stage}
  COMMAND_ERROR_IS_FATAL ANY)
foreach(file IN LISTS files)
  execute_process(COMMAND chmod 644 ${stage}/${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(entry IN LISTS entries)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -h -d @${epoch} ${work}/${entry}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -q -9 ${work}/${NAME}.zip ${entries}
                WORKING_DIRECTORY ${work} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  fail("zip could not write ${work}/${NAME}.zip")
endif()
file(SHA256 ${work}/${NAME}.zip hash)
file(WRITE ${work}/${NAME}.zip.sha256 "${hash}  ${NAME}.zip\n")
file(RENAME ${work}/${NAME}.zip ${zip_file})
file(RENAME ${work}/${NAME}.zip.sha256 ${sum_file})
file(REMOVE_RECURSE ${work})
# Left beside the zip by the CPack-made packages of earlier builds; they held the build folder.
file(REMOVE ${OUTPUT_DIR}/${NAME}.json ${OUTPUT_DIR}/${NAME}.json.sha256)
message(STATUS "${zip_file} and ${NAME}.zip.sha256 written")
