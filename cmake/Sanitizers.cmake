if(ADDOSCOPE_SANITIZE STREQUAL "address,undefined")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(ADDOSCOPE_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT ADDOSCOPE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ADDOSCOPE_SANITIZE: unknown value '${ADDOSCOPE_SANITIZE}'")
endif()

# Fuzz builds instrument every library for coverage and catch memory and
# undefined-behaviour faults; the targets add the libFuzzer driver.
if(ADDOSCOPE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "ADDOSCOPE_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
