# cmake -DSOURCE_DIR=... -DOUTPUT=... -P SourceDate.cmake
# Writes the source date (seconds since 1970, UTC) into OUTPUT, touching the file only when the
# value changes: SOURCE_DATE_EPOCH from the environment when set, else the time of the last
# commit of SOURCE_DIR, else 1980-01-01 00:00:00 UTC (a source tree without git history), the
# earliest time that a zip entry can hold.
set(fallback 315532800)
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(epoch "")
  if(EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch ERROR_VARIABLE git_error RESULT_VARIABLE git_result
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT git_result EQUAL 0)
      # Git refuses a checkout owned by another user; the date would then differ from the one
      # of a builder who owns it, so say why.
      message(WARNING "The last commit's time could not be read (${git_error}); the program's "
                      "time stamp is ${fallback}. Set SOURCE_DATE_EPOCH to the commit's time.")
      set(epoch "")
    endif()
  endif()
  if(epoch STREQUAL "")
    set(epoch ${fallback})
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS ${fallback})
  message(FATAL_ERROR "SOURCE_DATE_EPOCH \"${epoch}\" is not a time since 1980 in seconds")
endif()

set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL "${epoch}\n")
  file(WRITE "${OUTPUT}" "${epoch}\n")
endif()
