# corvalin_add_tests(LABEL <subsystem> DEPS <targets...> [GUI] [TIMEOUT <seconds>]
#                    [HEAVY <regex>] [SERIAL <regex>])
# The calling folder's tests become one GoogleTest program, test_<folder>: every <name>_test.cpp
# and the folder's other .cpp files (shared support code). CTest still sees each test by its own
# name (Suite.Name) and runs it in a process of its own. GUI gives the program a QApplication
# (offscreen) instead of a QCoreApplication. Tests whose names match HEAVY (whole stations in
# processes of their own) count as two of CTest's parallel jobs, so a few light tests that mostly
# wait run beside one of them but two of them never share the machine with much else. Tests
# matching SERIAL run alone: they wait on work the program does at idle priority (SCHED_IDLE),
# which any busy neighbour starves.
function(corvalin_add_tests)
    cmake_parse_arguments(ARG "GUI" "LABEL;TIMEOUT;HEAVY;SERIAL" "DEPS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(ARG_GUI)
        set(_main corvalin_test_main_gui)
    else()
        set(_main corvalin_test_main)
    endif()
    get_filename_component(_folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(_target test_${_folder})
    add_executable(${_target} ${_sources})
    target_link_libraries(${_target} PRIVATE ${ARG_DEPS} ${_main} corvalin_test_support
                          GTest::gtest GTest::gmock corvalin_flags)
    corvalin_moc_if_needed(${_target} ${_sources})
    # Batched like the libraries: a folder's test files share units, so a helper's name in a
    # file's anonymous namespace must be unique within the folder (helpers several files need
    # live once in the folder's support code).
    corvalin_speed_up(${_target})
    target_precompile_headers(${_target} REUSE_FROM corvalin_test_support)
    gtest_discover_tests(${_target}
        DISCOVERY_MODE PRE_TEST
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        PROPERTIES
            LABELS ${ARG_LABEL}
            TIMEOUT ${ARG_TIMEOUT})
    # gtest_discover_tests flattens a list given in PROPERTIES (only the first variable
    # would reach the tests), so the environment is set by a script CTest runs after it.
    set(_env_script ${CMAKE_CURRENT_BINARY_DIR}/${_target}_environment.cmake)
    file(WRITE ${_env_script}
         "if(${_target}_TESTS)\n"
         "  set_tests_properties(\${${_target}_TESTS} PROPERTIES ENVIRONMENT "
         "[==[${CORVALIN_TEST_ENVIRONMENT}]==])\n")
    if(ARG_HEAVY)
        file(APPEND ${_env_script}
             "  foreach(_test IN LISTS ${_target}_TESTS)\n"
             "    if(_test MATCHES [==[${ARG_HEAVY}]==])\n"
             "      set_tests_properties(\"\${_test}\" PROPERTIES PROCESSORS 2)\n"
             "    endif()\n"
             "  endforeach()\n")
    endif()
    if(ARG_SERIAL)
        file(APPEND ${_env_script}
             "  foreach(_test IN LISTS ${_target}_TESTS)\n"
             "    if(_test MATCHES [==[${ARG_SERIAL}]==])\n"
             "      set_tests_properties(\"\${_test}\" PROPERTIES RUN_SERIAL ON)\n"
             "    endif()\n"
             "  endforeach()\n")
    endif()
    file(APPEND ${_env_script} "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_env_script})
endfunction()
