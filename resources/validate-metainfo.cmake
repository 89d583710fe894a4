# Validates the AppStream metainfo: fails on any error, warning or info, so that a
# mistyped tag (only an info) is caught too. Pedantic remarks pass, and so do the two
# infos about the developer tags, which depend on the validator's version: before
# AppStream 1.0 <developer> is unknown, from 1.0 on <developer_name> is deprecated.
#   cmake -DAPPSTREAMCLI=path -DMETAINFO=file -P validate-metainfo.cmake
if(NOT APPSTREAMCLI OR NOT METAINFO)
    message(FATAL_ERROR "usage: cmake -DAPPSTREAMCLI=path -DMETAINFO=file -P validate-metainfo.cmake")
endif()

execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${METAINFO}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
message("${output}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate failed (status ${status})")
endif()

string(REGEX REPLACE "I: [^\n]*: (unknown-tag developer|developer-name-tag-deprecated) *\n" ""
    remaining "${output}")
if(remaining MATCHES "(^|\n)[EWI]: ")
    message(FATAL_ERROR "appstreamcli validate reported issues beyond pedantic ones")
endif()
