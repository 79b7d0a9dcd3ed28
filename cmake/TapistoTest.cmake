# tapisto_add_test(NAME SOURCES ... LIBS ...): one GoogleTest executable, cases found by ctest.
# Every test runs with a UTF-8 C locale and Qt's offscreen platform; each test makes its own
# TAPISTO_HOME (tests/common/TempHome.h).
function(tapisto_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE tapisto_options tapisto_testcommon GTest::gtest GTest::gtest_main ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # The environment goes in front of the command: gtest_discover_tests (CMake 3.25) splits a list
    # given as the ENVIRONMENT property into separate arguments, so only its first entry took effect.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
        "${CMAKE_COMMAND};-E;env;LANG=C.UTF-8;QT_QPA_PLATFORM=offscreen;TAPISTO_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data;TAPISTO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TAPISTO_TEST_PLUGIN_DIR=${CMAKE_BINARY_DIR}/testplugins")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
