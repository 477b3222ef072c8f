# Run by CPack (External generator) once the package's files are staged in
# CPACK_TEMPORARY_DIRECTORY. Writes CPACK_PACKAGE_FILE_NAME.zip holding one folder of that name
# with the staged files, the same bytes for the same files whoever builds it and whenever:
#  - entries in a fixed order (the folder, then its files sorted by name), listed one by one
#    rather than by a directory walk, whose order is the file system's;
#  - every entry dated at the source date in UTC (zip stores local time, 2-second steps);
#  - permissions 755 for the folder and 644 for the files, whatever the builder's umask;
#  - no extra fields (zip -X): they would carry the builder's user and group ids and the
#    files' own times.
set(name ${CPACK_PACKAGE_FILE_NAME})
set(stage ${CPACK_TEMPORARY_DIRECTORY})
get_filename_component(top ${stage} DIRECTORY)
set(zip_file ${top}/${name}.zip)
if(NOT stage STREQUAL "${top}/${name}")
  message(FATAL_ERROR "CPack staged the files in ${stage}, not in a folder named ${name}")
endif()

find_program(ZIP zip)
if(NOT ZIP)
  message(FATAL_ERROR "zip is missing: install the Debian package zip (bash scripts/install-deps.sh)")
endif()
file(STRINGS ${CPACK_VXT_SOURCE_DATE_FILE} epoch LIMIT_COUNT 1)
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "no source date in ${CPACK_VXT_SOURCE_DATE_FILE}")
endif()

file(GLOB files RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(entries ${name})
foreach(file IN LISTS files)
  if(IS_DIRECTORY ${stage}/${file})
    message(FATAL_ERROR "the package holds files only, not the folder ${file}")
  endif()
  list(APPEND entries ${name}/${file})
endforeach()

execute_process(
  COMMAND chmod 755 ${stage}
  COMMAND_ERROR_IS_FATAL ANY)
foreach(file IN LISTS files)
  execute_process(COMMAND chmod 644 ${stage}/${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(entry IN LISTS entries)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -h -d @${epoch} ${top}/${entry}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(REMOVE ${zip_file})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -q -9 ${zip_file} ${entries}
                WORKING_DIRECTORY ${top} COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_EXTERNAL_BUILT_PACKAGES ${zip_file})
