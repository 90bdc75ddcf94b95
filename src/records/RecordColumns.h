#pragma once

// Column numbers of the two lists, as the views number them.
enum ScanColumn {
    ScanColIp,
    ScanColMac,
    ScanColHostName,
    ScanColWorkgroup,
    ScanColVendor,
    ScanColCompare,
    ScanColumnCount
};
enum DatabaseColumn {
    DbColIp,
    DbColMac,
    DbColHostName,
    DbColWorkgroup,
    DbColUserName,
    DbColLocation,
    DbColVendor,
    DbColComment,
    DbColumnCount
};
