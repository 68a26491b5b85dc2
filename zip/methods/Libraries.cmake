# The external decoders of the zip reader, included by zip/CMakeLists.txt:
# libbz2 (method 12), libwavpack (method 97) and the LZMA SDK decoder (method 14). The SDK is not a library
# on Debian: its LzmaDec.c ships as source under /usr/include/lzma (package
# lzma-dev) and is compiled here, without our warning flags, since it is not
# our code.

find_package(BZip2)
if(NOT BZIP2_FOUND)
    message(FATAL_ERROR "libbz2 not found: install the bzip2 development files (Debian: libbz2-dev)")
endif()

# pkg-config knows only the build machine's libraries: a Windows build finds
# its cross-built WavPack through CMAKE_FIND_ROOT_PATH instead.
if(NOT WIN32)
    find_package(PkgConfig QUIET)
endif()
if(PkgConfig_FOUND)
    pkg_check_modules(WAVPACK QUIET IMPORTED_TARGET wavpack)
endif()
if(WAVPACK_FOUND)
    set(addoscope_wavpack PkgConfig::WAVPACK)
else()
    find_path(WAVPACK_INCLUDE_DIR wavpack/wavpack.h)
    find_library(WAVPACK_LIBRARY NAMES wavpack)
    if(NOT WAVPACK_INCLUDE_DIR OR NOT WAVPACK_LIBRARY)
        message(FATAL_ERROR "libwavpack not found: install the WavPack development files (Debian: libwavpack-dev)")
    endif()
    add_library(addoscope_wavpack_lib UNKNOWN IMPORTED)
    set_target_properties(addoscope_wavpack_lib PROPERTIES
        IMPORTED_LOCATION ${WAVPACK_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${WAVPACK_INCLUDE_DIR})
    set(addoscope_wavpack addoscope_wavpack_lib)
endif()

find_path(LZMA_SDK_DIR LzmaDec.c PATHS /usr/include/lzma NO_DEFAULT_PATH)
find_path(LZMA_SDK_DIR LzmaDec.c PATH_SUFFIXES lzma)
if(NOT LZMA_SDK_DIR OR NOT EXISTS ${LZMA_SDK_DIR}/LzmaDec.h OR NOT EXISTS ${LZMA_SDK_DIR}/Types.h)
    message(FATAL_ERROR "LZMA SDK decoder (LzmaDec.c, LzmaDec.h, Types.h) not found: install the LZMA SDK sources (Debian: lzma-dev) or set LZMA_SDK_DIR")
endif()

add_library(addoscope_lzmadec OBJECT ${LZMA_SDK_DIR}/LzmaDec.c)
target_include_directories(addoscope_lzmadec PRIVATE ${LZMA_SDK_DIR})
if(MSVC)
    target_compile_options(addoscope_lzmadec PRIVATE /w /O2)
else()
    target_compile_options(addoscope_lzmadec PRIVATE -w -O2)
endif()
set_target_properties(addoscope_lzmadec PROPERTIES POSITION_INDEPENDENT_CODE ON)
# The SDK folder also holds liblzma's generic header names (base.h,
# version.h, ...), so only the one source that needs it sees it.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/LzmaDecoder.cpp
    PROPERTIES INCLUDE_DIRECTORIES ${LZMA_SDK_DIR})

# Only the adapters' sources see the libraries' headers; the tests of the
# bzip2 stream, which includes <bzlib.h>, name BZip2::BZip2 themselves.
target_link_libraries(addoscope_zip PRIVATE BZip2::BZip2 ${addoscope_wavpack} addoscope_lzmadec)
