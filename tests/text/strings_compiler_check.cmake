# Runs the strings compiler on a copy of a translation with one fault put in,
# and checks that the build would stop with the message naming that fault.
#   -DCOMPILER=<tool> -DENGLISH=<en.po> -DBASE=<xx.po> -DWORK=<folder>
#   -DFROM=<text> -DTO=<text> -DEXPECT=<regex>   (@NL@ stands for a line break)
# With an empty EXPECT the unchanged file must be accepted.
file(READ ${BASE} content)
string(REPLACE "@NL@" "\n" from "${FROM}")
string(REPLACE "@NL@" "\n" to "${TO}")
if(NOT "${from}" STREQUAL "")
    string(FIND "${content}" "${from}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the text to change is not in ${BASE}: ${from}")
    endif()
    string(REPLACE "${from}" "${to}" content "${content}")
endif()
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/changed.po "${content}")
execute_process(
    COMMAND ${COMPILER} ${WORK}/out.cpp ${ENGLISH} ${WORK}/changed.po
    RESULT_VARIABLE result
    ERROR_VARIABLE errors)
if("${EXPECT}" STREQUAL "")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "a sound translation was refused: ${errors}")
    endif()
    return()
endif()
if(result EQUAL 0)
    message(FATAL_ERROR "the faulty translation was accepted")
endif()
if(NOT errors MATCHES "${EXPECT}")
    message(FATAL_ERROR "refused, but not for the expected reason: ${errors}")
endif()
