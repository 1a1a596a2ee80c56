# The encoder window search runs against a real X server (Xvfb) too.
target_link_libraries(vantaq_ccewindow_tests PRIVATE vantaq_platform_x11)
