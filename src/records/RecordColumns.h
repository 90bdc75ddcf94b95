#pragma once

#include <QStringList>

// Column numbers of the two lists, as the views number them.
enum ScanColumn {
    ScanColIp,
    ScanColMac,
    ScanColHostName,
    ScanColWorkgroup,
    ScanColVendor,
    ScanColCompare,
    ScanColOtherNames,
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
    DbColOtherNames,
    DbColumnCount
};

// The column titles of each list, in column order, from the string table.
QStringList ScanColumnTitles();
QStringList DatabaseColumnTitles();
