# kestrune_add_container(<short> ENTRY <file> SOURCES ... [LIBS ...] [TEST_ONLY])
# Builds the parser code as the static library kestrune-container-<short>-core (what the tests
# and fuzzers link) and the plug-in libkestrune-container-<short>.so from the entry-point file
# into bin/plugins, where the engine looks for it. A TEST_ONLY plug-in goes to tests/bin/plugins
# instead, where only the tests look, and is not installed.
function(kestrune_add_container short)
    cmake_parse_arguments(ARG "TEST_ONLY" "ENTRY" "SOURCES;LIBS" ${ARGN})
    set(target kestrune-container-${short})
    add_library(${target}-core STATIC ${ARG_SOURCES})
    target_include_directories(${target}-core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target}-core PUBLIC kestrune-container-abstract ${ARG_LIBS})
    add_library(${target} MODULE ${ARG_ENTRY})
    target_link_libraries(${target} PRIVATE ${target}-core)
    if(ARG_TEST_ONLY)
        set(output ${KESTRUNE_TEST_PLUGIN_DIR})
    else()
        set(output ${KESTRUNE_PLUGIN_DIR})
    endif()
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${output}
        PREFIX "lib"
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        INSTALL_RPATH "$ORIGIN/../..")
    if(NOT ARG_TEST_ONLY)
        install(TARGETS ${target} LIBRARY DESTINATION lib/kestrune/plugins)
    endif()
endfunction()
