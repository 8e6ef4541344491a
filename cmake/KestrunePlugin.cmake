# kestrune_add_container(<short> SOURCES ... [LIBS ...])
# Builds libkestrune-container-<short>.so into bin/plugins, where the engine looks for it.
function(kestrune_add_container short)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    set(target kestrune-container-${short})
    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE kestrune-container-abstract ${ARG_LIBS})
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${KESTRUNE_PLUGIN_DIR}
        PREFIX "lib"
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        INSTALL_RPATH "$ORIGIN/../../lib")
    install(TARGETS ${target} LIBRARY DESTINATION lib/kestrune/plugins)
endfunction()
