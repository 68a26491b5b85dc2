# Warnings are errors on our own code; third-party sources compiled into the
# build (the LZMA SDK decoder) do not use this.
function(addoscope_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
            -Wnon-virtual-dtor -Wno-missing-field-initializers
            $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
    endif()
endfunction()

# A static library of one subsystem: addoscope_subsystem(zip SOURCES ... DEPENDS ...)
function(addoscope_subsystem name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(addoscope_${name} STATIC ${ARG_SOURCES})
    target_link_libraries(addoscope_${name} PUBLIC ${ARG_DEPENDS})
    addoscope_warnings(addoscope_${name})
endfunction()
