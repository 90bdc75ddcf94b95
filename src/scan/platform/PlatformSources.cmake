# Sources of the host probe, by platform. Paths are relative to src/scan/.
# The NetBIOS request and name parse and the subnet lookup are portable; the resolvers and sockets are per platform. A platform without a backend gets
# a probe that finds nothing, so the build never breaks there.
set(LANVEY_SCAN_PLATFORM_SOURCES
    NetBiosNames.h
    NetBiosNames.cpp
    DnsMessage.h
    DnsMessage.cpp
    platform/LinkInterfaces.h
    platform/LinkInterfaces.cpp
)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    list(APPEND LANVEY_SCAN_PLATFORM_SOURCES
        platform/LinkInterfacesLinux.cpp
        platform/MacResolver.h
        SendAheadPacer.h
        SendAheadPacer.cpp
        platform/ArpWire.h
        platform/PacketSocketWire.h
        platform/PacketSocketWire.cpp
        platform/ArpListener.h
        platform/ArpListener.cpp
        platform/HelperWire.h
        platform/HelperWire.cpp
        platform/RawArpResolver.h
        platform/RawArpResolver.cpp
        platform/KernelNeighbourResolver.h
        platform/KernelNeighbourResolver.cpp
        platform/NetBiosSocket.h
        platform/SocketHandle.h
        platform/NetBiosSocketPosix.cpp
        platform/HostNameQueries.h
        platform/HostNameQueries.cpp
        platform/Ipv6EchoSweep.h
        platform/Ipv6EchoSweep.cpp
        platform/Ipv6Neighbours.h
        platform/Ipv6Neighbours.cpp
        platform/LinuxHostProbe.cpp
    )
else()
    list(APPEND LANVEY_SCAN_PLATFORM_SOURCES platform/UnsupportedHostProbe.cpp)
endif()
