# cmake -DFILES=<a;b;...> -DSTAMP=<file> -P includecheck.cmake
#
# A header view keeps a layer from naming another layer's headers through the include path,
# but a quoted include that climbs out of its folder ("../server/serverquery.h") or names an
# absolute path would find the file beside it anyway. This check, run as part of the build of
# the layer, fails on any such include, so the only way to another layer is its view.
set(bad)
foreach(file IN LISTS FILES)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
        if(line MATCHES "\"(/|[^\"]*\\.\\./)")
            list(APPEND bad "${file}: ${line}")
        endif()
    endforeach()
endforeach()
if(bad)
    list(JOIN bad "\n  " text)
    message(FATAL_ERROR "includes that reach past the layer's header views:\n  ${text}\n"
                        "Include the header by its view (e.g. \"server/rdmregvendamanual.h\").")
endif()
file(TOUCH ${STAMP})
