# tapisto_add_test(NAME SOURCES ... LIBS ...): one GoogleTest executable, cases found by ctest.
# Every test runs with a UTF-8 C locale and Qt's offscreen platform; each test makes its own
# TAPISTO_HOME (tests/common/TempHome.h). No test reaches the session bus of the user who runs them:
# a program started by a test must not step or show the one the user is running.
function(tapisto_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE tapisto_options tapisto_testcommon GTest::gtest GTest::gtest_main ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS)
    # The environment is set by a ctest include file that runs after discovery: passed through
    # gtest_discover_tests' PROPERTIES, the list of variables is split and only the first arrives.
    set(environment "LANG=C.UTF-8;QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tapisto-tests-bus;TAPISTO_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data;TAPISTO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TAPISTO_TEST_PLUGIN_DIR=${CMAKE_BINARY_DIR}/testplugins")
    set(envFile ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
    file(WRITE ${envFile}
        "foreach(t IN LISTS ${name}_TESTS)\n"
        "  set_tests_properties(\"\${t}\" PROPERTIES ENVIRONMENT \"${environment}\")\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${envFile})
endfunction()
