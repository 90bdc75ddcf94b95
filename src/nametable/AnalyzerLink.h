#pragma once

#include "nametable/NameTableTransfer.h"

#include <QString>

// The way to the analyzer's window: a local server in this user's runtime folder. One
// message is one frame on a fresh connection, answered with 32 bits. An analyzer that is
// not there, closes without answering, answers short or not within the deadline has not
// handled the message: the answer is 0.
class AnalyzerLink
{
public:
    static constexpr int kDeadlineMs = 10000;

    // `serverName` empty: the analyzer's own, AnalyzerServerName().
    explicit AnalyzerLink(QString serverName = QString(), int deadlineMs = kDeadlineMs);

    // A server of that name accepts a connection.
    bool IsRunning() const;

    quint32 Send(const NameTable::Transfer& transfer, quint64 sender) const;

    const QString& ServerName() const { return m_serverName; }

private:
    QString m_serverName;
    int m_deadlineMs;
};

// "<runtime folder>/Tessera5Class"; empty when this user has no private runtime folder.
QString AnalyzerServerName();
