# The Find dialog: on its own over a stand-in list, and in the main window with the real
# lists. Real widgets on the offscreen platform, driven with QTest.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(test_ui_find
    test_ui_main.cpp
    test_ui_util.h
    test_ui_find_dialog.cpp
    test_ui_find_frame.cpp
)
target_link_libraries(test_ui_find PRIVATE Lanvey::ui Lanvey::app Qt6::Test GTest::gtest)
lanvey_set_warnings(test_ui_find)
gtest_discover_tests(test_ui_find
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
