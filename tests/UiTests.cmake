# The windows: real widgets on the offscreen platform, driven with QTest. The scan view
# runs over a stand-in probe; the user profile lives in a folder of the run.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(test_ui
    test_ui_main.cpp
    test_ui_util.h
    test_ui_command_bars.cpp
    test_ui_frame_window.cpp
    test_ui_language.cpp
    test_ui_list_util.h
    test_ui_list_common.cpp
    test_ui_list_db.cpp
    test_ui_db_util.h
    test_ui_db_editing.cpp
    test_ui_add_to_database.cpp
    test_ui_exchange.cpp
    test_ui_nametable_dialogs.cpp
    test_ui_name_table.cpp
    test_ui_list_scan.cpp
    test_ui_scan_commands.cpp
    test_ui_setting_sheet.cpp
    test_ui_tab_view.cpp
    test_ui_target_list.cpp
)
target_link_libraries(test_ui PRIVATE Lanvey::ui Lanvey::app lanvey_standin Qt6::Test GTest::gtest
    SQLite::SQLite3)
# The Chinese module the build puts beside the program.
target_compile_definitions(test_ui PRIVATE LANVEY_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(test_ui LanveyRes_zh_cn lanvey-analyzer-standin)
lanvey_set_warnings(test_ui)
gtest_discover_tests(test_ui
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
