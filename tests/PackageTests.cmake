# The installed program and the Debian package (label "package"): the desktop entry,
# the AppStream file, the manual pages and the completions checked by their tools, an
# install into a staging root with the window started from there, and the package that
# make deb builds (from build-release/, an optimised build of its own) checked by lintian
# and installed and purged in a clean chroot.

find_program(LANVEY_DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(LANVEY_APPSTREAMCLI appstreamcli)
set(dist_source ${PROJECT_SOURCE_DIR}/dist)
set(dist_binary ${CMAKE_BINARY_DIR}/dist)
set(package_scripts ${CMAKE_CURRENT_SOURCE_DIR}/package)

# A missing tool fails its test, named: make deps installs them all.
add_test(NAME Package.DesktopEntry
    COMMAND ${LANVEY_DESKTOP_FILE_VALIDATE} ${dist_source}/lanvey.desktop)
add_test(NAME Package.AppStreamMetadata
    COMMAND ${LANVEY_APPSTREAMCLI} validate --no-net --pedantic
            ${dist_binary}/com.norvane.lanvey.metainfo.xml)
add_test(NAME Package.ManualPages
    COMMAND ${package_scripts}/check_man_pages.sh
            ${dist_binary}/man/lanvey.1 ${dist_binary}/man/lanvey-scan.1
            ${dist_binary}/man/lanvey-db.1)
add_test(NAME Package.BashCompletion
    COMMAND ${package_scripts}/check_completion.sh ${dist_source}/completion
            $<TARGET_FILE:lanvey-scan> $<TARGET_FILE:lanvey-db>)
set_tests_properties(Package.DesktopEntry Package.AppStreamMetadata Package.ManualPages
    Package.BashCompletion PROPERTIES LABELS package TIMEOUT 60)
set_tests_properties(Package.AppStreamMetadata PROPERTIES FAIL_REGULAR_EXPRESSION "[EW]: ")

# cmake --install of this build tree into a staging root, then its programs.
add_executable(test_installed_program test_installed_program.cpp)
target_link_libraries(test_installed_program PRIVATE Qt6::Gui Qt6::Network GTest::gtest
    GTest::gtest_main)
target_compile_definitions(test_installed_program PRIVATE
    LANVEY_CMAKE_COMMAND="${CMAKE_COMMAND}" LANVEY_BINARY_DIR="${CMAKE_BINARY_DIR}"
    LANVEY_VERSION="${PROJECT_VERSION}" $<$<TARGET_EXISTS:lanvey-arp>:LANVEY_HAS_HELPER>)
lanvey_set_warnings(test_installed_program)
add_dependencies(test_installed_program lanvey lanvey-scan lanvey-db LanveyRes_zh_cn
    lanvey_compressed_docs)
add_test(NAME Package.InstalledProgram COMMAND test_installed_program)
set_tests_properties(Package.InstalledProgram PROPERTIES LABELS package TIMEOUT 300)

# The package, as make deb builds it. Its optimised build takes minutes, so it starts
# first and the two checks of the package wait for it.
set(release_dir ${PROJECT_SOURCE_DIR}/build-release)
add_test(NAME Package.Build
    COMMAND env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make --no-print-directory
            -C ${PROJECT_SOURCE_DIR} deb RELEASE_DIR=${release_dir})
set_tests_properties(Package.Build PROPERTIES LABELS package TIMEOUT 3600 COST 1000
    FIXTURES_SETUP lanvey_deb)
add_test(NAME Package.Lintian COMMAND ${package_scripts}/lintian.sh ${release_dir}/package)
add_test(NAME Package.CleanChroot
    COMMAND ${package_scripts}/chroot_install.sh ${release_dir}/package)
set_tests_properties(Package.Lintian Package.CleanChroot PROPERTIES LABELS package
    FIXTURES_REQUIRED lanvey_deb)
set_tests_properties(Package.Lintian PROPERTIES TIMEOUT 600)
set_tests_properties(Package.CleanChroot PROPERTIES TIMEOUT 1200 SKIP_RETURN_CODE 77)
