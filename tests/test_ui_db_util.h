#pragma once

// The lists inside the main window over a database file of five known hosts.

#include "records/DatabaseFile.h"
#include "test_ui_list_util.h"

#include <QFile>
#include <QTemporaryDir>

class DbList : public ListTest
{
protected:
    void SetUp() override
    {
        ListTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("Database.lvdat"));
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        const auto add = [&](const char* ip, const char* mac, const char* name, ColorRef color) {
            auto record = std::make_unique<DatabaseRecord>();
            record->ip = Ip(ip);
            record->mac = Mac(mac);
            record->hostName = QString::fromLatin1(name);
            record->location = QStringLiteral("room %1").arg(records.size());
            record->color = color;
            records.push_back(std::move(record));
        };
        add("10.0.0.30", "00:00:0c:00:00:01", "delta", MakeColorRef(0, 0, 0));
        add("10.0.0.4", "08:00:20:00:00:02", "Alpha", MakeColorRef(255, 0, 0));
        records.back()->otherNames = {{QStringLiteral("alpha.local"), NameSource::Mdns}};
        add("10.0.0.200", "00:05:02:00:00:03", "charlie", MakeColorRef(0, 128, 0));
        add("10.0.0.17", "02:00:00:00:00:04", "Bravo", MakeColorRef(0, 0, 0));
        add("10.0.0.9", "02:00:00:00:00:05", "echo", MakeColorRef(0, 0, 0));
        ASSERT_TRUE(DatabaseFile::Save(path, records));
        ASSERT_EQ(doc.OpenDatabase(path).status, DatabaseLoadResult::Loaded);
        Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    }

    // The host names in the order the file keeps them.
    QStringList StoredNames()
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        QString error;
        EXPECT_TRUE(DatabaseFile::Read(path, records, &error)) << error.toStdString();
        QStringList names;
        for (const auto& record : records)
            names << record->hostName;
        return names;
    }

    QTemporaryDir dir;
    QString path;

    // The records as the file keeps them.
    std::vector<std::unique_ptr<DatabaseRecord>> Stored()
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        QString error;
        EXPECT_TRUE(DatabaseFile::Read(path, records, &error)) << error.toStdString();
        return records;
    }
    // The file's bytes, to tell that nothing was written.
    QByteArray FileBytes()
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
