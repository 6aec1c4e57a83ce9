# quarn_area(<target>): makes the library target of one area under src/shared an installable
# shared object, libquarn-<area>.so.<major>, with the area's headers installed under
# include/quarn/<area> and the target exported as quarn::<area>.
#
# Each area links only the areas below it. Linking with --no-undefined turns that rule into a
# link error: a symbol that an area takes from an area above it is unresolved when the area's
# own shared object is linked.
function(quarn_area target)
    file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    target_sources(${target} PUBLIC FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR}/src/shared
                   FILES ${_headers})
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME quarn-${target}
        VERSION ${PROJECT_VERSION}
        SOVERSION ${PROJECT_VERSION_MAJOR}
        EXPORT_NAME ${target})
    # A fuzzing build's instrumentation is resolved only when the fuzzers themselves are linked.
    if(NOT QUARN_FUZZ)
        target_link_options(${target} PRIVATE LINKER:--no-undefined)
    endif()
    add_library(quarn::${target} ALIAS ${target})

    install(TARGETS ${target} EXPORT QuarnSharedTargets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
                    NAMELINK_COMPONENT development
            FILE_SET HEADERS DESTINATION ${QUARN_INSTALL_INCLUDEDIR} COMPONENT development)
    set_property(GLOBAL APPEND PROPERTY QUARN_AREAS ${target})
endfunction()
