# corvalin_add_tests(LABEL <subsystem> DEPS <targets...> [GUI])
# Every <name>_test.cpp of the calling folder becomes one GoogleTest program; the folder's other
# .cpp files are shared support code linked into each. GUI gives the programs a QApplication
# (offscreen) instead of a QCoreApplication.
function(corvalin_add_tests)
    cmake_parse_arguments(ARG "GUI" "LABEL;TIMEOUT" "DEPS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    set(_support ${_all})
    if(_tests)
        list(REMOVE_ITEM _support ${_tests})
    endif()
    if(ARG_GUI)
        set(_main corvalin_test_main_gui)
    else()
        set(_main corvalin_test_main)
    endif()
    get_filename_component(_folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    # The folder's support code is compiled once and linked into each of its programs.
    set(_support_objects)
    if(_support)
        set(_support_lib test_${_folder}_support)
        add_library(${_support_lib} OBJECT ${_support})
        target_link_libraries(${_support_lib} PRIVATE ${ARG_DEPS} corvalin_test_support
                              GTest::gtest GTest::gmock corvalin_flags)
        set(_support_objects $<TARGET_OBJECTS:${_support_lib}>)
    endif()
    foreach(_test ${_tests})
        get_filename_component(_name ${_test} NAME_WE)
        set(_target test_${_folder}_${_name})
        add_executable(${_target} ${_test} ${_support_objects})
        target_link_libraries(${_target} PRIVATE ${ARG_DEPS} ${_main} corvalin_test_support
                              GTest::gtest GTest::gmock corvalin_flags)
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
             "[==[${CORVALIN_TEST_ENVIRONMENT}]==])\n"
             "endif()\n")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_env_script})
    endforeach()
endfunction()
