find_package(GTest REQUIRED)
include(GoogleTest)

# addoscope_test(NAME name SOURCES ... LIBS ...): one GoogleTest program,
# each of its tests registered with CTest. Tests run with the source tree's
# tests/data folder as ADDOSCOPE_TEST_DATA.
function(addoscope_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    # Test helpers are included by their path from the source root.
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${ARG_NAME} PRIVATE
        ADDOSCOPE_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
        ADDOSCOPE_BIN_DIR="${ADDOSCOPE_BIN_DIR}")
    addoscope_warnings(${ARG_NAME})
    gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
