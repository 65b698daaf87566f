# The browser runtime package: a ZIP made at build time from the freshly built browser host
# program (target quarnel_host), embedded in a program as the RCDATA resource RUNTIME_PACKAGE
# (resources/runtime_package.rc). It is build output, never committed.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Cache entries, so quarnel_embed_runtime_package sees them from any folder's CMakeLists.
set(QUARNEL_RUNTIME_PACKAGE_DIR ${CMAKE_BINARY_DIR}/runtime_package CACHE INTERNAL "")
set(QUARNEL_RUNTIME_PACKAGE ${QUARNEL_RUNTIME_PACKAGE_DIR}/runtime_package.zip CACHE INTERNAL "")

# Naming the host target in DEPENDS makes the package follow every rebuild of the host.
add_custom_command(
    OUTPUT ${QUARNEL_RUNTIME_PACKAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARNEL_RUNTIME_PACKAGE_DIR}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make-runtime-package.py $<TARGET_FILE:quarnel_host>
            ${QUARNEL_RUNTIME_PACKAGE}
    DEPENDS quarnel_host ${CMAKE_SOURCE_DIR}/scripts/make-runtime-package.py
    COMMENT "Packing the browser runtime"
    VERBATIM)
add_custom_target(quarnel_runtime_package DEPENDS ${QUARNEL_RUNTIME_PACKAGE})

# Embeds the package in `target`, whose resource script `rc_file` includes
# resources/runtime_package.rc when QUARNEL_EMBED_RUNTIME_PACKAGE is defined (quarnel.rc).
function(quarnel_embed_runtime_package target rc_file)
    add_dependencies(${target} quarnel_runtime_package)
    target_compile_definitions(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:QUARNEL_EMBED_RUNTIME_PACKAGE>)
    # windres looks for the RCDATA file in the include folders.
    target_include_directories(${target} PRIVATE ${QUARNEL_RUNTIME_PACKAGE_DIR} ${CMAKE_SOURCE_DIR}/resources)
    set_property(SOURCE ${rc_file} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS
                 ${QUARNEL_RUNTIME_PACKAGE} ${CMAKE_SOURCE_DIR}/resources/runtime_package.rc)
endfunction()
