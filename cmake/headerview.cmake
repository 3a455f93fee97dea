# qel_header_view(<name> BASE <dir> HEADERS <path>...)
#
# An INTERFACE target whose include directory holds the listed headers of BASE and nothing
# else, each under its path relative to BASE ("server/rdmregvendamanual.h"). The headers there
# are one-line forwarders to the real files, so a real header's own quoted includes still
# resolve beside it; a consumer that names any other header of BASE finds no such file and
# fails to compile. This is how a layer sees only the headers it may use.
function(qel_header_view name)
    cmake_parse_arguments(V "" "BASE" "HEADERS" ${ARGN})
    set(dir ${CMAKE_BINARY_DIR}/headerviews/${name})
    set(wanted)
    foreach(header IN LISTS V_HEADERS)
        if(NOT EXISTS ${V_BASE}/${header})
            message(FATAL_ERROR "qel_header_view(${name}): no header ${V_BASE}/${header}")
        endif()
        # Written only when it changes, so a new configure rebuilds nothing.
        file(CONFIGURE OUTPUT ${dir}/${header}
             CONTENT "#pragma once\n#include \"${V_BASE}/${header}\"\n")
        list(APPEND wanted ${dir}/${header})
    endforeach()
    # A header dropped from the list must not stay reachable from an older configure.
    file(GLOB_RECURSE present LIST_DIRECTORIES false ${dir}/*)
    foreach(file IN LISTS present)
        if(NOT file IN_LIST wanted)
            file(REMOVE ${file})
        endif()
    endforeach()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${dir})
endfunction()

# qel_check_includes(<target> <source>...)
#
# Makes building <target> fail when one of the sources includes a header by a path that climbs
# out of its folder or is absolute (see includecheck.cmake): the build, not a review, keeps the
# layer to its header views. Rerun whenever one of the sources changes.
function(qel_check_includes target)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.stamp)
    list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE files)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} "-DFILES=${files}" -DSTAMP=${stamp}
                -P ${CMAKE_SOURCE_DIR}/cmake/includecheck.cmake
        DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/includecheck.cmake
        COMMENT "Checking the includes of ${target}" VERBATIM)
    add_custom_target(${target}_includes DEPENDS ${stamp})
    add_dependencies(${target} ${target}_includes)
endfunction()
