# The program tests run the built programs; make sure they are there first.
add_dependencies(vantaq_program_tests EclCCE cce vantaq_framesrv)
if(TARGET vantaq)
    add_dependencies(vantaq_program_tests vantaq)
endif()
if(VANTAQ_CCE_VARIANTS)
    add_dependencies(vantaq_program_tests ${VANTAQ_CCE_VARIANTS})
endif()
