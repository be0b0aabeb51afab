# Builds the JUCE modules straight from their sources.
#
# JUCE's own CMake functions (juce_add_plugin and friends) need its `juceaide` helper, and the only
# JUCE 8 that Debian 12 can get ships a juceaide built for a newer glibc. So we compile each
# module's `juce_<module>.cpp` units ourselves and lay the VST3 bundle out by hand (see
# VST3Bundle.cmake). Everything here mirrors what JUCE's CMake would generate.

set(JUCE_MODULES_DIR "${CMAKE_SOURCE_DIR}/.cache/juce-8.0.6" CACHE PATH "JUCE 8 modules folder (scripts/setup.sh fetches it)")
if(NOT EXISTS "${JUCE_MODULES_DIR}/juce_core/juce_core.h")
    message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR}: run scripts/setup.sh first")
endif()
set(JUCE_VST3_SDK_DIR "${JUCE_MODULES_DIR}/juce_audio_processors/format_types/VST3_SDK")

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(JUCE_SYSTEM_LIBS REQUIRED IMPORTED_TARGET freetype2 fontconfig libpng libjpeg zlib)

# The compilation units of one module: every top-level .c/.cpp except other platforms' and the
# plug-in format wrappers (each wrapper is compiled only into the target of its format).
function(juce_module_sources out module)
    file(GLOB units "${JUCE_MODULES_DIR}/${module}/${module}*.cpp" "${JUCE_MODULES_DIR}/${module}/${module}*.c")
    list(FILTER units EXCLUDE REGEX "_(mac|ios|windows|android)\\.")
    if(module STREQUAL "juce_audio_plugin_client")
        set(units "")
    endif()
    set(${out} ${units} PARENT_SCOPE)
endfunction()

# A static library of JUCE modules. Extra definitions (the plug-in's identity, or hosting
# switches) go in DEFINITIONS and become PUBLIC, so everything linking the library sees exactly
# the settings the modules were compiled with.
function(add_juce_modules_library name)
    cmake_parse_arguments(ARG "" "" "MODULES;DEFINITIONS;LINK" ${ARGN})
    set(sources "")
    foreach(module IN LISTS ARG_MODULES)
        juce_module_sources(units ${module})
        list(APPEND sources ${units})
    endforeach()
    add_library(${name} STATIC ${sources})
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${name} SYSTEM PUBLIC "${JUCE_MODULES_DIR}" "${JUCE_VST3_SDK_DIR}")
    set(available "")
    foreach(module IN LISTS ARG_MODULES)
        list(APPEND available "JUCE_MODULE_AVAILABLE_${module}=1")
    endforeach()
    target_compile_definitions(${name} PUBLIC
        JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1 LINUX=1
        $<IF:$<CONFIG:Debug>,DEBUG=1;_DEBUG=1,NDEBUG=1;_NDEBUG=1>
        JUCE_USE_CURL=0 JUCE_WEB_BROWSER=0 JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_USE_FLAC=1 JUCE_USE_OGGVORBIS=1
        ${available} ${ARG_DEFINITIONS})
    # JUCE's own code is not ours to warn about.
    target_compile_options(${name} PRIVATE -w)
    target_link_libraries(${name} PUBLIC PkgConfig::JUCE_SYSTEM_LIBS Threads::Threads ${CMAKE_DL_LIBS} rt ${ARG_LINK})
endfunction()
