# nlohmann-json (Debian's header-only nlohmann-json3-dev) for the DevTools messages, in both builds.
# Its headers lie in /usr/include, which must not go on the MinGW compilers' path: the glibc
# headers there would be found before MinGW's own. So both builds see a folder of the build tree
# that holds nothing but a link named nlohmann to the package's folder, and #include
# <nlohmann/json.hpp> finds that alone.

set(QUARNEL_JSON_DIR /usr/include/nlohmann CACHE PATH "The folder holding nlohmann-json's json.hpp")
if(NOT EXISTS ${QUARNEL_JSON_DIR}/json.hpp)
    message(FATAL_ERROR "No json.hpp in ${QUARNEL_JSON_DIR}: install nlohmann-json3-dev (scripts/setup-machine.sh)")
endif()

set(json_include_dir ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${json_include_dir})
file(CREATE_LINK ${QUARNEL_JSON_DIR} ${json_include_dir}/nlohmann SYMBOLIC)

add_library(quarnel_json INTERFACE)
target_include_directories(quarnel_json SYSTEM INTERFACE ${json_include_dir})
# Conversions from a JSON value are spelt out (get<T>()), never implied by an assignment.
target_compile_definitions(quarnel_json INTERFACE JSON_USE_IMPLICIT_CONVERSIONS=0)
add_library(quarnel::json ALIAS quarnel_json)
