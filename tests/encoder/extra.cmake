# The encoder tests use the shared pieces of the runner and encoder, a helper source, and run
# the built EclCCE and cce programs.
if(TARGET vantaq_encoder_tests)
    target_sources(vantaq_encoder_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/encoder_fixture.cpp)
    target_link_libraries(vantaq_encoder_tests PRIVATE vantaq_encoder_kit)
    add_dependencies(vantaq_encoder_tests cce EclCCE)
endif()
