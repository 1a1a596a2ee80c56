# The store tests also run the vantaq-reg program.
add_dependencies(vantaq_store_tests vantaq-reg)
