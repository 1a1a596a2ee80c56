# Source inspection tests load the frame-server module.
add_dependencies(vantaq_source_tests vantaq_framesrv)
