#pragma once

#include "nametable/NameTableTransfer.h"

#include <QJsonArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// A stand-in for the analyzer: it listens where the analyzer's window would, answers
// checks and adds as the analyzer does, and keeps its name table in a JSON file. Its
// faults are chosen on purpose, for tests and demonstrations.
class CStandInAnalyzer final : public QObject
{
    Q_OBJECT

public:
    struct Options {
        QString serverName;    // where to listen
        QString tableFile;     // the name table
        bool tooOld = false;   // every message answered 0
        bool failAdds = false; // every add answered 0x101
        bool hang = false;     // no message ever answered
    };

    explicit CStandInAnalyzer(Options options, QObject* parent = nullptr);

    bool Listen(QString* error);

    // The answer to one message, the table changed on an add.
    quint32 Handle(const NameTable::Transfer& transfer);

    // The table as kept: one object per address, {"kind", "address", "alias", "color"}.
    static QJsonArray ReadTable(const QString& file);
    const QString& TableFile() const { return m_options.tableFile; }

signals:
    // An add reached the table.
    void tableChanged();

private:
    void OnConnection();
    void OnReadable(QLocalSocket* socket);

    Options m_options;
    QLocalServer* m_pServer;
};
