# The encoder tests use the shared pieces of the runner and encoder, a helper source, and run
# the built EclCCE and cce programs.
if(TARGET vantaq_encoder_tests)
    target_sources(vantaq_encoder_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/encoder_fixture.cpp)
    target_link_libraries(vantaq_encoder_tests PRIVATE vantaq_encoder_kit)
    add_dependencies(vantaq_encoder_tests cce EclCCE vantaq-author)
endif()

# Copies of the encoder for start-up tests, in the test folder (never the program folder):
# cce-code1 ... cce-code5 carry the FileVersion of each release code, cce-unversioned has no
# version resource. They link the objects cce is built from, so each costs one link.
set(VANTAQ_CCE_VARIANTS)
function(vantaq_cce_variant name)
    set(target cce-${name})
    add_executable(${target})
    target_link_libraries(${target} PRIVATE cce_objects)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(ARGC GREATER 1)
        vantaq_version_resource(TARGET ${target}
            PRODUCT_NAME "Vantaq stand-in encoder (test copy)"
            PRODUCT_VERSION "${ARGV1}"
            FILE_VERSION "${ARGV1}"
            FILE_DESCRIPTION "MPEG-2 encoder driven by encoder control lists (ffmpeg)")
    endif()
    set(VANTAQ_CCE_VARIANTS ${VANTAQ_CCE_VARIANTS} ${target} PARENT_SCOPE)
endfunction()
vantaq_cce_variant(code1 "2, 50, 1, 0")
vantaq_cce_variant(code2 "2, 66, 1, 7")
vantaq_cce_variant(code3 "2, 67, 0, 8")
vantaq_cce_variant(code4 "2, 67, 0, 9")
vantaq_cce_variant(code5 "2, 67, 0, 23")
vantaq_cce_variant(unversioned)
if(TARGET vantaq_encoder_tests)
    add_dependencies(vantaq_encoder_tests ${VANTAQ_CCE_VARIANTS})
endif()

# The descriptor test stands the run tests' child program (tests/run) in for the encoder.
if(TARGET vantaq_encoder_tests)
    add_dependencies(vantaq_encoder_tests vantaq_child_helper)
endif()

# The runner's settings window on real widgets (offscreen).
if(TARGET eclcce_window)
    find_package(Qt6 REQUIRED COMPONENTS Test)
    add_executable(vantaq_eclcce_window_tests
        ${CMAKE_SOURCE_DIR}/tests/gui/gui_qtest_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/eclcce_window_qtest.cpp)
    target_link_libraries(vantaq_eclcce_window_tests PRIVATE
        eclcce_window vantaq_test_support GTest::gtest Qt6::Test)
    set_target_properties(vantaq_eclcce_window_tests PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_dependencies(vantaq_eclcce_window_tests cce)
    gtest_discover_tests(vantaq_eclcce_window_tests DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 LABELS "encoder;qt" ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    # The program itself: the window on a virtual X display, the printed settings without one.
    add_test(NAME eclcce_configuration_call
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/eclcce_display.sh $<TARGET_FILE:EclCCE>)
    set_tests_properties(eclcce_configuration_call PROPERTIES
        TIMEOUT 120 LABELS "encoder;qt;end-to-end" SKIP_RETURN_CODE 77)
endif()

# Fuzz targets (cmake/Fuzz.cmake).
vantaq_add_fuzzer(ecl_list SOURCES ecl_list_fuzzer.cpp
    LIBRARIES vantaq_encoder_kit SEEDS fuzz-seeds/ecl_list)
