# Windows programs carry resources (icons, dialogs, manifests) compiled by windres.
if(WIN32)
    enable_language(RC)
endif()

# qor_windows_resources(<program> <rc file> [CONSOLE] [OUTPUT_NAME <name>] [SUFFIX <suffix>]): on
# Windows, the program's resources (compiled by windres, which finds the files they name in the
# rc file's folder and in cmake/windows/, the manifests) and the name the product gives its file;
# a GUI program, as none of the product's small programs opens a console, unless CONSOLE (a tool
# run from a command prompt). Nothing elsewhere.
function(qor_windows_resources program rc)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(R "CONSOLE" "OUTPUT_NAME;SUFFIX" "" ${ARGN})
    target_sources(${program} PRIVATE ${rc})
    get_filename_component(folder ${rc} DIRECTORY)
    target_include_directories(${program} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${folder}
                                                  ${PROJECT_SOURCE_DIR}/cmake/windows)
    if(NOT R_CONSOLE)
        set_target_properties(${program} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
    if(R_OUTPUT_NAME)
        set_target_properties(${program} PROPERTIES OUTPUT_NAME ${R_OUTPUT_NAME})
    endif()
    if(R_SUFFIX)
        set_target_properties(${program} PROPERTIES SUFFIX ${R_SUFFIX})
    endif()
endfunction()
