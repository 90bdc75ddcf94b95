# Start-up: the application object's modes, the settings file and the coder, the
# language modules.
include(LanveyLanguageModule)

lanvey_add_test(test_startup SOURCES test_startup.cpp StartupTestUtil.h
    LIBS Lanvey::app SQLite::SQLite3)
# The first instance in a process of its own, for the cases that need two processes.
add_executable(startup_instance_child StartupInstanceChild.cpp StartupTestUtil.h)
target_link_libraries(startup_instance_child PRIVATE Lanvey::app GTest::gtest)
lanvey_set_warnings(startup_instance_child)
add_dependencies(test_startup startup_instance_child)
target_compile_definitions(test_startup PRIVATE
    LANVEY_INSTANCE_CHILD="$<TARGET_FILE:startup_instance_child>")
lanvey_add_test(test_config_file SOURCES test_config_file.cpp LIBS Lanvey::app)

# Program folders with modules that must be turned down (or, the last one, taken): one
# that names another language, two of other versions, one without a version, one that
# does not name its language.
set(test_modules ${CMAKE_CURRENT_BINARY_DIR}/language_modules)
set(zh_cn_table ${PROJECT_SOURCE_DIR}/res/lang/zh_cn.txt)
lanvey_add_language_module(zh_cn ${zh_cn_table} ${PROJECT_VERSION} TARGET LanveyRes_claims_zh_tw
    OUTPUT_DIRECTORY ${test_modules}/claims_zh_tw CLAIM zh_tw)
lanvey_add_language_module(zh_cn ${zh_cn_table} 2.2.1.314 TARGET LanveyRes_older_build
    OUTPUT_DIRECTORY ${test_modules}/older_build)
lanvey_add_language_module(zh_cn ${zh_cn_table} 2.3.1.315 TARGET LanveyRes_newer_release
    OUTPUT_DIRECTORY ${test_modules}/newer_release)
lanvey_add_language_module(zh_cn ${zh_cn_table} ${PROJECT_VERSION} TARGET LanveyRes_no_version
    OUTPUT_DIRECTORY ${test_modules}/no_version NO_VERSION)
lanvey_add_language_module(zh_cn ${zh_cn_table} ${PROJECT_VERSION} TARGET LanveyRes_no_language_id
    OUTPUT_DIRECTORY ${test_modules}/no_language_id NO_LANG_ID)

# With the windowed start-up: the toolkit's own texts follow the module.
lanvey_add_test(test_language_module SOURCES test_language_module.cpp StartupTestUtil.h
    LIBS Lanvey::app Lanvey::startup)
target_compile_definitions(test_language_module PRIVATE
    LANVEY_TEST_MODULES="${test_modules}"
    LANVEY_BINARY_DIR="${CMAKE_BINARY_DIR}"
    LANVEY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(test_language_module LanveyRes_zh_cn LanveyRes_claims_zh_tw
    LanveyRes_older_build LanveyRes_newer_release LanveyRes_no_version LanveyRes_no_language_id)
