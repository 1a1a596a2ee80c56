# vantaq_version_resource(TARGET <target> PRODUCT_NAME <s> PRODUCT_VERSION <s> FILE_VERSION <s>
#                         [FILE_DESCRIPTION <s>])
#
# Gives a program or shared library a version block (the VS_VERSIONINFO layout) in an ELF
# section named ".vsversion", which CFileVersionInfo reads. FILE_VERSION and PRODUCT_VERSION are
# stored as given (for example "2, 67, 0, 23") and their first four numbers also fill the fixed
# information. The block is generated at build time by vantaq-version-block.
function(vantaq_version_resource)
    cmake_parse_arguments(PARSE_ARGV 0 VR ""
        "TARGET;PRODUCT_NAME;PRODUCT_VERSION;FILE_VERSION;FILE_DESCRIPTION" "")
    if(VR_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "vantaq_version_resource: unknown arguments ${VR_UNPARSED_ARGUMENTS}")
    endif()
    foreach(required TARGET PRODUCT_NAME PRODUCT_VERSION FILE_VERSION)
        if(NOT DEFINED VR_${required})
            message(FATAL_ERROR "vantaq_version_resource: ${required} is required")
        endif()
    endforeach()
    set(args --product-name "${VR_PRODUCT_NAME}" --product-version "${VR_PRODUCT_VERSION}"
             --file-version "${VR_FILE_VERSION}")
    if(DEFINED VR_FILE_DESCRIPTION)
        list(APPEND args --file-description "${VR_FILE_DESCRIPTION}")
    endif()
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${VR_TARGET}_vsversion.cpp)
    add_custom_command(
        OUTPUT ${out}
        COMMAND vantaq_version_block ${out} ${args}
        DEPENDS vantaq_version_block
        COMMENT "Generating the version block of ${VR_TARGET}"
        VERBATIM)
    target_sources(${VR_TARGET} PRIVATE ${out})
endfunction()
