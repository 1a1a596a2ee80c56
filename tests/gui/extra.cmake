# The window's tests on real widgets: offscreen, and one under Xvfb with a notification area.
if(TARGET vantaq_gui)
    add_executable(vantaq_gui_tests
        ${CMAKE_CURRENT_LIST_DIR}/gui_qtest_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/program_folder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/main_window_qtest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/job_panels_qtest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tray_qtest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/file_dialog_qtest.cpp)
    target_link_libraries(vantaq_gui_tests PRIVATE vantaq_gui vantaq_test_support GTest::gtest)
    set_target_properties(vantaq_gui_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # The program folder the tests copy must hold the programs.
    add_dependencies(vantaq_gui_tests vantaq EclCCE cce vantaq-reg)
    gtest_discover_tests(vantaq_gui_tests DISCOVERY_TIMEOUT 60
        TEST_FILTER "-RealTray.*"
        PROPERTIES TIMEOUT 300 LABELS qt ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    add_test(NAME vantaq_gui_real_tray
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_with_tray.sh $<TARGET_FILE:vantaq_gui_tests>
                --gtest_filter=RealTray.*)
    set_tests_properties(vantaq_gui_real_tray PROPERTIES
        TIMEOUT 120 LABELS qt SKIP_RETURN_CODE 77 ENVIRONMENT QT_QPA_PLATFORM=xcb)
endif()
