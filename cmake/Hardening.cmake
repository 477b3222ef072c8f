# How the Windows code is compiled and linked (MinGW-w64), and how the program users get is made
# reproducible: the same commit gives the same VXTVannikorde.exe, byte for byte, whoever builds it
# in whatever folder and whenever.

# Every Windows object carries the stack protector, and with optimisation the fortified string and
# memory functions. The guard and the failure handlers are the program's own, an object of every
# executable (src/platform/win32/StackGuard.cpp), so that libssp's, which loads DLLs to seed the
# guard before WinMain, is never linked; the fortified functions' checks come from libssp, which
# -static links into the program so that no libssp-0.dll is needed beside it. The tests build with
# the same flags, so that they run the code users get.
add_compile_options(-fstack-protector-strong)
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
add_link_options(-fstack-protector-strong)
add_library(vxt_stack_guard OBJECT ${PROJECT_SOURCE_DIR}/src/platform/win32/StackGuard.cpp)
link_libraries("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:vxt_stack_guard>")
# The package check reads from it that every source of the program was compiled so.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

# ASLR with high-entropy addresses and DEP are named rather than left to the linker's defaults,
# which differ between binutils versions.
add_link_options(LINKER:--dynamicbase,--high-entropy-va,--nxcompat)

# No build folder or checkout folder in the objects: file names that the compiler records (debug
# information, __FILE__) are relative to them.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)

# The source date: SOURCE_DATE_EPOCH from the environment when the builder sets it, else the last
# commit's time. It is written at every build (into a file that changes only with its value), so
# that a new commit relinks the program even when no source changed.
set(VXT_SOURCE_DATE_FILE ${PROJECT_BINARY_DIR}/source-date-epoch.txt)
add_custom_target(vxt_source_date
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT=${VXT_SOURCE_DATE_FILE}
          -P ${CMAKE_CURRENT_LIST_DIR}/SourceDate.cmake
  BYPRODUCTS ${VXT_SOURCE_DATE_FILE}
  COMMENT "Source date for the program's time stamp"
  VERBATIM)

# The program users get: stripped at link time (so that the tests run the very file in the zip),
# and its PE time stamp is the source date instead of the time of the link (binutils' PE linker
# takes SOURCE_DATE_EPOCH from the environment).
function(vxt_release_program target)
  target_link_options(${target} PRIVATE -s)
  add_dependencies(${target} vxt_source_date)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VXT_SOURCE_DATE_FILE})
  foreach(lang C CXX)
    set_property(TARGET ${target} PROPERTY ${lang}_LINKER_LAUNCHER
                 sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/with-source-date.sh ${VXT_SOURCE_DATE_FILE})
  endforeach()
endfunction()
