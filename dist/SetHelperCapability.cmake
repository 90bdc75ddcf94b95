# Run by `cmake --install` after the files are in place: the raw-socket helper gets the
# one capability it needs (CAP_NET_RAW) when the install runs as root; otherwise the
# command that gives it is printed. An install into a staging root (DESTDIR) is treated
# the same way. Never fails the install: without the capability the programs resolve
# through the kernel, only more slowly.
#
#   HELPER   the helper's path below the prefix, without DESTDIR

set(helper "$ENV{DESTDIR}${HELPER}")
if(NOT EXISTS "${helper}")
    return()
endif()

execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
find_program(LANVEY_SETCAP setcap PATHS /usr/sbin /sbin)
if(uid STREQUAL "0" AND LANVEY_SETCAP)
    execute_process(COMMAND "${LANVEY_SETCAP}" cap_net_raw+ep "${helper}"
        RESULT_VARIABLE rc ERROR_VARIABLE error OUTPUT_QUIET)
    if(rc EQUAL 0)
        message(STATUS "Capability: cap_net_raw+ep on ${helper}")
        return()
    endif()
    string(STRIP "${error}" error)
    message(STATUS "Capability: setcap failed on ${helper} (${error}); this file system "
        "may not hold file capabilities. Scans still work, through the kernel, more slowly.")
else()
    message(STATUS "Capability: lanvey-arp needs CAP_NET_RAW for ARP requests of its own; "
        "give it with:\n    sudo setcap cap_net_raw+ep \"${helper}\"")
endif()
