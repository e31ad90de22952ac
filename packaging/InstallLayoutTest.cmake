# Installs the build into a scratch root (DESTDIR, so that nothing outside it is written) and
# compares the installed files with the manifest of this platform, one path a line. With
# EXACT on, a file the manifest does not list fails the test too.
#   cmake -DBUILD=dir -DMANIFEST=file -DWORK=dir -DPREFIX=/usr [-DEXACT=ON] -P InstallLayoutTest.cmake
file(REMOVE_RECURSE "${WORK}")
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${WORK}/root
            ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

file(GLOB_RECURSE installed RELATIVE "${WORK}/root" "${WORK}/root/*")
list(SORT installed)
file(STRINGS "${MANIFEST}" expected REGEX "^[^#]")
list(SORT expected)

set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(unexpected)
if(EXACT)
    set(unexpected ${installed})
    list(REMOVE_ITEM unexpected ${expected})
endif()
if(missing OR unexpected)
    list(JOIN missing "\n  " missing)
    list(JOIN unexpected "\n  " unexpected)
    message(FATAL_ERROR "installed files differ from ${MANIFEST}\n"
                        "missing:\n  ${missing}\nnot in the manifest:\n  ${unexpected}")
endif()
list(LENGTH installed count)
message(STATUS "${count} files installed as the manifest lists them")
file(REMOVE_RECURSE "${WORK}")
