# Lays out a VST3 bundle as hosts expect on Linux:
#   NAME.vst3/Contents/x86_64-linux/NAME.so
#   NAME.vst3/Contents/Resources/moduleinfo.json
# The module exports only the three VST3 entry points, and moduleinfo.json is written by JUCE's
# manifest helper (built here from its single source file) after every link.

add_executable(vst3_manifest_helper "${JUCE_MODULES_DIR}/juce_audio_plugin_client/VST3/juce_VST3ManifestHelper.cpp")
target_include_directories(vst3_manifest_helper SYSTEM PRIVATE "${JUCE_MODULES_DIR}" "${JUCE_VST3_SDK_DIR}")
target_compile_options(vst3_manifest_helper PRIVATE -w)
target_link_libraries(vst3_manifest_helper PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)

function(add_vst3_bundle target)
    cmake_parse_arguments(ARG "" "BUNDLE_NAME;VERSION" "SOURCES;LINK" ${ARGN})
    set(bundle_dir "${CMAKE_BINARY_DIR}/${ARG_BUNDLE_NAME}.vst3")
    set(exports "${CMAKE_BINARY_DIR}/${target}_exports.map")
    file(WRITE "${exports}" "{ global: GetPluginFactory; ModuleEntry; ModuleExit; local: *; };\n")

    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LINK})
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--as-needed "-Wl,--version-script=${exports}")
    set_target_properties(${target} PROPERTIES
        PREFIX "" OUTPUT_NAME "${ARG_BUNDLE_NAME}" SUFFIX ".so"
        LIBRARY_OUTPUT_DIRECTORY "${bundle_dir}/Contents/x86_64-linux"
        LINK_DEPENDS "${exports}")

    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory "${bundle_dir}/Contents/Resources"
        COMMAND $<TARGET_FILE:vst3_manifest_helper> -create -version "${ARG_VERSION}" -path "${bundle_dir}"
                -output "${bundle_dir}/Contents/Resources/moduleinfo.json"
        VERBATIM)
    add_dependencies(${target} vst3_manifest_helper)
    set_property(TARGET ${target} PROPERTY VST3_BUNDLE_DIR "${bundle_dir}")
endfunction()
