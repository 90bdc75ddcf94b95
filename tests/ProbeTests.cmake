# The host probe: NetBIOS request and reply, ARP packets, and the resolvers against
# network namespaces built by the tests themselves (root only; CI=true makes a skip fail).
lanvey_add_test(test_netbios SOURCES test_netbios.cpp LIBS Lanvey::scan)
target_compile_definitions(test_netbios PRIVATE
    LANVEY_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")

lanvey_add_test(test_resolver SOURCES test_resolver.cpp LIBS Lanvey::scan)

# When the raw ARP path asks again and gives up, over a scripted link.
lanvey_add_test(test_arp_rounds SOURCES test_arp_rounds.cpp LIBS Lanvey::scan)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # lanvey-arp's lines and refusals, and the program itself where it sends nothing.
    lanvey_add_test(test_helper_request SOURCES test_helper_request.cpp
        LIBS Lanvey::scan Lanvey::helper_protocol)
    target_compile_definitions(test_helper_request PRIVATE
        LANVEY_ARP_BINARY="$<TARGET_FILE:lanvey-arp>")
    add_dependencies(test_helper_request lanvey-arp)

    lanvey_add_test(test_resolver_lab SOURCES test_resolver_lab.cpp LIBS Lanvey::scan)
    target_compile_definitions(test_resolver_lab PRIVATE
        LANVEY_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
        LANVEY_ARP_BINARY="$<TARGET_FILE:lanvey-arp>")
    add_dependencies(test_resolver_lab lanvey-arp)
endif()

# Text from the network: the ANSI code pages of its names and how they are shown.
lanvey_add_test(test_lang_text SOURCES test_lang_text.cpp LIBS Lanvey::lang)

# Fuzzers of the reply parse (clang builds only).
add_subdirectory(fuzz)

# The DNS message of multicast DNS and LLMNR: the reverse query and the reply parse.
lanvey_add_test(test_dns_message SOURCES test_dns_message.cpp LIBS Lanvey::scan)
target_compile_definitions(test_dns_message PRIVATE
    LANVEY_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
