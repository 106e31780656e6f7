# Run by CPack on its staging tree, after its own strip and before the package is
# made: removes the compiler's .comment section from the programs, as Debian's own
# strip step does, so lintian has nothing left to note about them.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/sbin/*")
foreach(program ${programs})
    execute_process(COMMAND objcopy --remove-section=.comment "${program}"
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "objcopy --remove-section=.comment ${program} failed")
    endif()
endforeach()
