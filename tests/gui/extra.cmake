# The window's tests on real widgets: most offscreen, the Desktop* ones in an X session with a
# window manager and a notification area that ctest starts and stops around them.
if(TARGET vantaq_gui)
    file(GLOB VANTAQ_GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
    add_executable(vantaq_gui_tests ${VANTAQ_GUI_TEST_SOURCES})
    find_package(Qt6 REQUIRED COMPONENTS Test)
    target_link_libraries(vantaq_gui_tests PRIVATE vantaq_gui vantaq_test_support GTest::gtest Qt6::Test)
    set_target_properties(vantaq_gui_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # The one version the program's title, about box and package carry.
    target_compile_definitions(vantaq_gui_tests PRIVATE VANTAQ_TEST_VERSION="${PROJECT_VERSION}")
    # The program folder the tests copy must hold the programs.
    add_dependencies(vantaq_gui_tests vantaq EclCCE cce vantaq-reg)
    gtest_discover_tests(vantaq_gui_tests DISCOVERY_TIMEOUT 60
        TEST_FILTER "-Desktop*"
        PROPERTIES TIMEOUT 300 LABELS qt ENVIRONMENT QT_QPA_PLATFORM=offscreen)

    set(VANTAQ_XSESSION ${CMAKE_BINARY_DIR}/xsession)
    add_test(NAME xsession_start
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/xsession.sh start ${VANTAQ_XSESSION})
    add_test(NAME xsession_stop
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/xsession.sh stop ${VANTAQ_XSESSION})
    set_tests_properties(xsession_start PROPERTIES FIXTURES_SETUP XSESSION TIMEOUT 60 LABELS "qt;end-to-end"
                    COST 100)
    set_tests_properties(xsession_stop PROPERTIES FIXTURES_CLEANUP XSESSION LABELS "qt;end-to-end")
    # One process for all of them: the session is shared, so they run one after another.
    add_test(NAME vantaq_gui_desktop COMMAND vantaq_gui_tests --gtest_filter=Desktop*)
    set_tests_properties(vantaq_gui_desktop PROPERTIES
        FIXTURES_REQUIRED XSESSION RESOURCE_LOCK xsession TIMEOUT 300 LABELS "qt;end-to-end" COST 100
        ENVIRONMENT "XSESSION_DIR=${VANTAQ_XSESSION};QT_QPA_PLATFORM=xcb")
endif()
