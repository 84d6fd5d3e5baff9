# Windows programs carry resources (icons, dialogs, manifests) compiled by windres.
if(WIN32)
    enable_language(RC)
endif()

# qor_windows_resources(<program> <rc file> [OUTPUT_NAME <name>] [SUFFIX <suffix>]): on Windows,
# the program's resources (compiled by windres, which finds the files they name in the program's
# folder and in cmake/windows/, the manifests) and the name the product gives its file; a GUI
# program, as nothing of the product opens a console. Nothing elsewhere.
function(qor_windows_resources program rc)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(R "" "OUTPUT_NAME;SUFFIX" "" ${ARGN})
    target_sources(${program} PRIVATE ${rc})
    target_include_directories(${program} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                                  ${PROJECT_SOURCE_DIR}/cmake/windows)
    set_target_properties(${program} PROPERTIES WIN32_EXECUTABLE ON)
    if(R_OUTPUT_NAME)
        set_target_properties(${program} PROPERTIES OUTPUT_NAME ${R_OUTPUT_NAME})
    endif()
    if(R_SUFFIX)
        set_target_properties(${program} PROPERTIES SUFFIX ${R_SUFFIX})
    endif()
endfunction()
