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

# A static library of one subsystem:
#   addoscope_subsystem(zip
#       SOURCES ...            its .cpp files
#       PUBLIC_HEADERS ...     its public face: the headers another folder may include
#       PRIVATE_HEADERS ...    the rest, for the subsystem itself (and its tests,
#                              fuzz targets and benchmarks)
#       DEPENDS ...            libraries its public headers need (linked PUBLIC)
#       PRIVATE_DEPENDS ...)   libraries only its sources need
# Includes name the subsystem folder (#include "zip/ZipArchive.h"), so both
# header sets have the source root as their base; the public one hands it on
# to whatever links the library. The public headers are collected in the
# global property ADDOSCOPE_PUBLIC_HEADERS, which the include check test
# (tests/layout) holds every product folder to.
function(addoscope_subsystem name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_HEADERS;PRIVATE_HEADERS;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    set(target addoscope_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_sources(${target} PUBLIC FILE_SET public_headers TYPE HEADERS
        BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${ARG_PUBLIC_HEADERS})
    target_sources(${target} PRIVATE FILE_SET private_headers TYPE HEADERS
        BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${ARG_PRIVATE_HEADERS})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
    addoscope_warnings(${target})
    foreach(header ${ARG_PUBLIC_HEADERS})
        file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${header})
        set_property(GLOBAL APPEND PROPERTY ADDOSCOPE_PUBLIC_HEADERS ${relative})
    endforeach()
endfunction()
