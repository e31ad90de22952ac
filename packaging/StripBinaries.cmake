# Run by cpack on the staged files before it packs them: strips the programs as Debian's own
# packaging does, the symbol tables and the compiler's notes included.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/libexec/quorvane/*")
foreach(program ${programs})
    execute_process(COMMAND strip --strip-unneeded --remove-section=.comment
                            --remove-section=.note "${program}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "strip ${program} failed: ${status}")
    endif()
endforeach()
