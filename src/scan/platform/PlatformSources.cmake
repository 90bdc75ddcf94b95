# Sources of the host probe, by platform. Paths are relative to src/scan/.
set(LANVEY_SCAN_PLATFORM_SOURCES)
