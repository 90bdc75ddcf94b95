# Language resource modules: one shared library per language, loaded by the program
# from <program folder>/mui/<lang>/LanveyRes.so. A module carries its language code,
# its version and its string table, which is compiled in from a plain table file in
# the format of res/lang/en_us.txt.
#
#   lanvey_add_language_module(<lang> <table file> <version>
#       [TARGET <name>]            default LanveyRes_<lang>
#       [OUTPUT_DIRECTORY <dir>]   the program folder the module belongs to;
#                                  default ${CMAKE_BINARY_DIR}, for a module the
#                                  program ships (and installs)
#       [CLAIM <code>]             the code GetLangStrID returns; default <lang>
#       [NO_VERSION]               leave out the version export
#       [NO_LANG_ID])              leave out GetLangStrID
#
# <version> has four parts, a.b.c.d; the module reports it as two 32-bit halves,
# (a << 16 | b) and (c << 16 | d).

set(LANVEY_LANGUAGE_MODULE_SOURCE "${CMAKE_CURRENT_LIST_DIR}/../src/mui/LanveyRes.cpp"
    CACHE INTERNAL "")
set(LANVEY_EMBED_TEXT_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/EmbedText.cmake" CACHE INTERNAL "")

function(lanvey_add_language_module lang table version)
    cmake_parse_arguments(ARG "NO_VERSION;NO_LANG_ID" "TARGET;OUTPUT_DIRECTORY;CLAIM" "" ${ARGN})
    if(NOT ARG_TARGET)
        set(ARG_TARGET LanveyRes_${lang})
    endif()
    # A module beside the program is one the program ships; dist/ installs those.
    if(NOT ARG_OUTPUT_DIRECTORY)
        set(ARG_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
        set_property(GLOBAL APPEND PROPERTY LANVEY_SHIPPED_LANGUAGE_MODULES ${ARG_TARGET})
    endif()
    if(NOT ARG_CLAIM)
        set(ARG_CLAIM ${lang})
    endif()
    if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        message(FATAL_ERROR "language module ${ARG_TARGET}: version '${version}' is not a.b.c.d")
    endif()
    math(EXPR version_ms "(${CMAKE_MATCH_1} << 16) | ${CMAKE_MATCH_2}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR version_ls "(${CMAKE_MATCH_3} << 16) | ${CMAKE_MATCH_4}" OUTPUT_FORMAT HEXADECIMAL)

    get_filename_component(table "${table}" ABSOLUTE)
    set(embedded "${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}_table.cpp")
    add_custom_command(OUTPUT "${embedded}"
        COMMAND ${CMAKE_COMMAND} -DINPUT=${table} -DOUTPUT=${embedded}
                -DSYMBOL=kLanveyResTable -P ${LANVEY_EMBED_TEXT_SCRIPT}
        DEPENDS "${table}" ${LANVEY_EMBED_TEXT_SCRIPT}
        COMMENT "Embedding ${table} in ${ARG_TARGET}"
        VERBATIM)

    add_library(${ARG_TARGET} MODULE ${LANVEY_LANGUAGE_MODULE_SOURCE} "${embedded}")
    set_target_properties(${ARG_TARGET} PROPERTIES
        OUTPUT_NAME LanveyRes PREFIX "" SUFFIX ".so" LANVEY_LANGUAGE ${lang}
        LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}/mui/${lang}"
        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_compile_definitions(${ARG_TARGET} PRIVATE
        LANVEY_RES_LANG="${ARG_CLAIM}"
        LANVEY_RES_VERSION_MS=${version_ms}u LANVEY_RES_VERSION_LS=${version_ls}u
        $<$<BOOL:${ARG_NO_VERSION}>:LANVEY_RES_NO_VERSION>
        $<$<BOOL:${ARG_NO_LANG_ID}>:LANVEY_RES_NO_LANG_ID>)
    target_compile_features(${ARG_TARGET} PRIVATE cxx_std_20)
    lanvey_set_warnings(${ARG_TARGET})
endfunction()
