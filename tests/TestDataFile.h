#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A recorded file of tests/data (LANVEY_TEST_DATA_DIR, set by the suite's target); empty
// when it cannot be read.
inline QByteArray ReadDataFile(const char* name)
{
    QFile file(QStringLiteral(LANVEY_TEST_DATA_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
