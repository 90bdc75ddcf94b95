#include "records/RecordColumns.h"

#include "lang/LangString.h"

QStringList ScanColumnTitles()
{
    return {FormatLangString(165, QStringLiteral("IP Address")),
            FormatLangString(167, QStringLiteral("Mac Address")),
            FormatLangString(168, QStringLiteral("Host Name")),
            FormatLangString(229, QStringLiteral("WorkGroup")),
            FormatLangString(169, QStringLiteral("Manufacture")),
            FormatLangString(170, QStringLiteral("Compare Result")),
            FormatLangStringA(0xF150, "Other Names")};
}

QStringList DatabaseColumnTitles()
{
    return {FormatLangString(165, QStringLiteral("IP Address")),
            FormatLangString(167, QStringLiteral("MAC Address")),
            FormatLangString(168, QStringLiteral("Host Name")),
            FormatLangString(229, QStringLiteral("WorkGroup")),
            FormatLangString(173, QStringLiteral("User Name")),
            FormatLangString(174, QStringLiteral("Location")),
            FormatLangString(169, QStringLiteral("Manufacture")),
            FormatLangString(171, QStringLiteral("Comment")),
            FormatLangStringA(0xF150, "Other Names")};
}
