# The Qt UI queue's tests, on a real event loop without a display.
if(TARGET vantaq_platform_qt)
    add_executable(vantaq_qt_platform_tests ${CMAKE_CURRENT_LIST_DIR}/qt/qt_ui_queue_qtest.cpp)
    target_link_libraries(vantaq_qt_platform_tests PRIVATE vantaq_platform_qt GTest::gtest_main)
    set_target_properties(vantaq_qt_platform_tests PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(vantaq_qt_platform_tests DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 300 LABELS qt ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
