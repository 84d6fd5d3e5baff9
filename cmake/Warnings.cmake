# Warnings as errors for every target of ours.
function(qor_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Werror)
    # GCC 12 reports impossible overlaps inside std::string's inlined copies once optimised
    # (-Wrestrict on string assignment); the warning says nothing about our code there.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 14)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()
