# Reads qorshell.dll with the cross toolchain's objdump: the export numbers the small programs
# import by, and the data section that every process loading the DLL shares. Run with
# -DOBJDUMP=<objdump> -DDLL=<qorshell.dll>.
execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump could not read ${DLL}")
endif()
set(expected SH_AssociateDecrypt SH_AutoEncrypt SH_AutoDecrypt SH_CheckPassword
    SH_CreateShellLink SH_AddToStartMenu UninstInitialize UninstUnInitialize DllCanUnloadNow
    DllGetClassObject)
# The name table gives each name's place in the address table, which is its number less the base.
if(NOT table MATCHES "Ordinal Base[ \t]+([0-9]+)")
    message(FATAL_ERROR "no export table in ${DLL}:\n${table}")
endif()
set(base ${CMAKE_MATCH_1})
string(REGEX REPLACE ".*\\[Ordinal/Name Pointer\\] Table\n" "" names "${table}")
string(REGEX REPLACE "\n\n.*" "\n" names "${names}")
set(ordinal 1)
foreach(name IN LISTS expected)
    math(EXPR place "${ordinal} - ${base}")
    if(NOT names MATCHES "\\[ *${place}\\] ${name}\n")
        message(FATAL_ERROR "ordinal ${ordinal} is not ${name}:\n${names}")
    endif()
    math(EXPR ordinal "${ordinal} + 1")
endforeach()
# No other export may take a number of those ten.
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_]+" entries "${names}")
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "\\[ *([0-9]+)\\] ([A-Za-z_]+)" "\\1;\\2" parts "${entry}")
    list(GET parts 0 place)
    list(GET parts 1 name)
    math(EXPR ordinal "${place} + ${base}")
    if(ordinal GREATER_EQUAL 1 AND ordinal LESS_EQUAL 10)
        math(EXPR index "${ordinal} - 1")
        list(GET expected ${index} wanted)
        if(NOT name STREQUAL wanted)
            message(FATAL_ERROR "${name} takes ordinal ${ordinal}, which belongs to ${wanted}")
        endif()
    endif()
endforeach()

# The password block and the busy flag live in a section the loader maps once for all processes.
execute_process(COMMAND "${OBJDUMP}" -h "${DLL}" OUTPUT_VARIABLE sections RESULT_VARIABLE failed)
if(failed OR NOT sections MATCHES "\\.shared[^\n]*\n[^\n]*SHARED")
    message(FATAL_ERROR "no section .shared marked SHARED in ${DLL}:\n${sections}")
endif()
message(STATUS "qorshell.dll: ordinals 1 to 10 as the programs import them, a shared section")
