#include "cli/DbTool.h"

#include "cli/DatabasePath.h"
#include "cli/HistoryReport.h"
#include "cli/ScanReport.h"
#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"
#include "records/RecordColumns.h"
#include "records/RecordExchange.h"
#include "records/ScanMerge.h"
#include "records/SightingIndex.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"
#include "support/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <map>
#include <optional>

namespace
{

constexpr char kUsage[] =
    "usage: lanvey-db [--db FILE] list [--format table|csv|json]\n"
    "       lanvey-db [--db FILE] export FILE [--format csv|json|ethers|hosts]\n"
    "       lanvey-db [--db FILE] import FILE [--replace|--keep]\n"
    "       lanvey-db [--db FILE] add IP MAC [--name N] [--workgroup W] [--user U]\n"
    "                 [--location L] [--comment C] [--color #RRGGBB]\n"
    "       lanvey-db [--db FILE] delete IP...\n"
    "       lanvey-db [--db FILE] history [IP|MAC] [--format table|csv|json]\n"
    "       lanvey-db [--db FILE] events [--since TIME] [--format table|csv|json]\n"
    "       lanvey-db --help\n";

// What --help adds to the usage.
constexpr char kHelp[] =
    "\n"
    "Lists, exports, imports, adds and deletes the records of the database of known hosts.\n"
    "\n"
    "  list            print every record (table by default)\n"
    "  export FILE     write every record; the format comes from --format, else from the\n"
    "                  file's name (*.json, ethers, hosts), else CSV\n"
    "  import FILE     read our CSV or JSON, an ethers file, arp-scan's output or nmap's\n"
    "                  XML; a record whose address is known already is kept (--keep, the\n"
    "                  default) or replaced (--replace)\n"
    "  add IP MAC      add one record\n"
    "  delete IP...    delete the records of these addresses\n"
    "  history [IP|MAC]  the address pairs the window's scans and watches have seen (of\n"
    "                  one address or MAC): first and last seen, sweeps, names\n"
    "  events          what watching reported (since TIME: 2026-12-09 or\n"
    "                  2026-12-09T20:00:00Z; times are UTC)\n"
    "  --db FILE       the database to work on (default: the window's, Database.lvdat in\n"
    "                  the data folder)\n"
    "\n"
    "Exit status: 0 done, 1 a row or file failed, 2 bad input, 3 a Lanvey window holds the\n"
    "database.\n";

// A command line taken apart: the words in order, and the options with their values.
struct Words {
    QStringList positional;
    std::map<QString, QString> options; // "--name" -> value; flags map to ""
};

// Options that take a value; every other "--word" is a flag.
bool TakesValue(const QString& option)
{
    static const QStringList valued = {"--db",        "--format", "--name",
                                       "--workgroup", "--user",   "--location",
                                       "--comment",   "--color",  "--since"};
    return valued.contains(option);
}

std::optional<Words> Split(const QStringList& args, QString* error)
{
    Words words;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--")) {
            words.positional += args.mid(i + 1);
            break;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            words.positional << arg;
            continue;
        }
        if (words.options.count(arg)) {
            *error = QStringLiteral("%1 is given twice").arg(arg);
            return std::nullopt;
        }
        if (TakesValue(arg)) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return std::nullopt;
            }
            words.options[arg] = args[++i];
        } else {
            words.options[arg] = QString();
        }
    }
    return words;
}

// The options a command accepts; anything else is a mistake worth naming.
bool OnlyOptions(const Words& words, const QStringList& allowed, QString* error)
{
    for (const auto& [option, value] : words.options) {
        if (option != QLatin1String("--db") && !allowed.contains(option)) {
            *error = QStringLiteral("%1 is not an option of %2").arg(option, words.positional[0]);
            return false;
        }
    }
    return true;
}

std::optional<ColorRef> ParseColor(const QString& text)
{
    if (text.size() != 7 || !text.startsWith(u'#'))
        return std::nullopt;
    bool ok = false;
    const uint rgb = text.mid(1).toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return MakeColorRef(quint8(rgb >> 16), quint8(rgb >> 8), quint8(rgb));
}

// The format of an export: --format, else the file's name.
std::optional<ExchangeFormat> ExportFormat(const Words& words, const QString& path)
{
    const auto it = words.options.find(QStringLiteral("--format"));
    if (it != words.options.end())
        return ExchangeFormatNamed(it->second);
    return ExchangeFormatOfName(path).value_or(ExchangeFormat::Csv);
}

class DbTool
{
public:
    DbTool(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}

    int Run(const QStringList& args)
    {
        QString error;
        const std::optional<Words> words = Split(args, &error);
        if (!words)
            return Usage(error);
        if (words->options.count(QStringLiteral("--help")) ||
            (!words->positional.isEmpty() && words->positional[0] == QLatin1String("-h"))) {
            m_out << kUsage << kHelp;
            m_out.flush();
            return kDbDone;
        }
        if (words->positional.isEmpty())
            return Usage(QStringLiteral("no command"));
        const auto db = words->options.find(QStringLiteral("--db"));
        m_path = db != words->options.end() ? db->second : DefaultDatabasePath();
        if (m_path.isEmpty())
            return Usage(QStringLiteral("--db needs a file"));
        m_oui.Open();

        const QString command = words->positional[0];
        const QStringList operands = words->positional.mid(1);
        if (command == QLatin1String("list"))
            return List(*words, operands);
        if (command == QLatin1String("export"))
            return Export(*words, operands);
        if (command == QLatin1String("import"))
            return Import(*words, operands);
        if (command == QLatin1String("add"))
            return Add(*words, operands);
        if (command == QLatin1String("delete"))
            return Delete(*words, operands);
        if (command == QLatin1String("history") || command == QLatin1String("events"))
            return History(*words, operands, command == QLatin1String("events"));
        return Usage(QStringLiteral("unknown command \"%1\"").arg(command));
    }

private:
    int Usage(const QString& what)
    {
        m_err << "lanvey-db: " << what << '\n' << kUsage;
        m_err.flush();
        return kDbUsage;
    }
    int Fail(const QString& what)
    {
        m_err << "lanvey-db: " << what << '\n';
        m_err.flush();
        return kDbFailed;
    }

    // The records as the file keeps them, for the commands that only read: nothing is
    // created or set aside. `records` owns them; the pointers are in list order.
    bool ReadOnly(std::vector<std::unique_ptr<DatabaseRecord>>& records,
                  std::vector<const DatabaseRecord*>& rows, int* status)
    {
        QString error;
        // No database yet: no records.
        if (QFileInfo::exists(m_path) && !DatabaseFile::Read(m_path, records, &error)) {
            *status = Fail(error);
            return false;
        }
        for (const auto& record : records)
            rows.push_back(record.get());
        return true;
    }

    // The database for a change, held against every other writer while the tool runs.
    int OpenForWriting(CLanveyDoc& doc)
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        const DatabaseLoadResult loaded = doc.OpenDatabase(m_path, 0);
        if (loaded.problem == DatabaseLoadResult::InUse) {
            m_err << "lanvey-db: " << QDir::toNativeSeparators(m_path)
                  << " is open in a Lanvey window (or another lanvey-db); close it first, "
                     "the window would write its own list over the change\n";
            m_err.flush();
            return kDbInUse;
        }
        if (loaded.status == DatabaseLoadResult::Failed)
            return Fail(loaded.error);
        if (loaded.status == DatabaseLoadResult::SetAside)
            m_err << "lanvey-db: " << QDir::toNativeSeparators(m_path)
                  << " was not a readable Lanvey database; it was kept as "
                  << QDir::toNativeSeparators(loaded.setAsidePath) << '\n';
        doc.SetVendorTable(&m_oui);
        return kDbDone;
    }

    // history [IP|MAC] and events [--since TIME]: read only, like list.
    int History(const Words& words, const QStringList& operands, bool events)
    {
        QString error;
        if (!OnlyOptions(words,
                         events ? QStringList{"--format", "--since"} : QStringList{"--format"},
                         &error))
            return Usage(error);
        const auto formatOption = words.options.find(QStringLiteral("--format"));
        const std::optional<HistoryFormat> format = HistoryFormatNamed(
            formatOption != words.options.end() ? formatOption->second : QStringLiteral("table"));
        if (!format)
            return Usage(QStringLiteral("unknown format \"%1\"").arg(formatOption->second));
        qint64 since = 0;
        if (const auto option = words.options.find(QStringLiteral("--since"));
            option != words.options.end()) {
            const std::optional<qint64> time = ParseHistoryTime(option->second);
            if (!time)
                return Usage(QStringLiteral("--since wants a time such as 2026-12-09 or "
                                            "2026-12-09T20:00:00Z, not \"%1\"")
                                 .arg(option->second));
            since = *time;
        }
        // One address or one MAC, or every pair.
        std::optional<quint32> ip;
        std::optional<quint64> mac;
        if (operands.size() > (events ? 0 : 1))
            return Usage(
                QStringLiteral("%1 takes %2")
                    .arg(words.positional[0], events ? QStringLiteral("no operand")
                                                     : QStringLiteral("one address at most")));
        if (!operands.isEmpty()) {
            if (IsValidIpAddress(operands[0]))
                ip = GetIpAddress(operands[0]);
            else if (const quint64 value = GetMacAddress(operands[0], u':'); value != kNoMacAddress)
                mac = value | kMacTopBits;
            else
                return Usage(
                    QStringLiteral("\"%1\" is neither an IP nor a MAC address").arg(operands[0]));
        }
        std::vector<DatabaseFile::HistoryPair> pairs;
        std::vector<WatchEvent> kept;
        if (QFileInfo::exists(m_path) &&
            !DatabaseFile::ReadHistory(m_path, &pairs, &kept, since, &error))
            return Fail(error);
        std::erase_if(pairs, [&](const DatabaseFile::HistoryPair& entry) {
            return (ip && entry.pair.ip != *ip) || (mac && (entry.pair.mac | kMacTopBits) != *mac);
        });
        const QByteArray bytes =
            events ? WriteEvents(*format, kept) : WriteHistory(*format, pairs, &m_oui);
        m_out << QString::fromUtf8(bytes);
        m_out.flush();
        return kDbDone;
    }

    int List(const Words& words, const QStringList& operands)
    {
        QString error;
        if (!OnlyOptions(words, {"--format"}, &error))
            return Usage(error);
        if (!operands.isEmpty())
            return Usage(QStringLiteral("list takes no operand"));
        const auto format = words.options.find(QStringLiteral("--format"));
        const QString name =
            format != words.options.end() ? format->second : QStringLiteral("table");
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        std::vector<const DatabaseRecord*> rows;
        int status = kDbDone;
        if (!ReadOnly(records, rows, &status))
            return status;
        if (name == QLatin1String("csv") || name == QLatin1String("json")) {
            const QByteArray bytes = WriteDatabaseRecords(
                name == QLatin1String("csv") ? ExchangeFormat::Csv : ExchangeFormat::Json, rows,
                &m_oui);
            m_out << QString::fromUtf8(bytes);
        } else if (name == QLatin1String("table")) {
            // The window's First Seen and Last Seen come from the history.
            SightingIndex seen;
            std::vector<DatabaseFile::HistoryPair> pairs;
            std::vector<WatchEvent> none;
            if (DatabaseFile::ReadHistory(m_path, &pairs, &none,
                                          std::numeric_limits<qint64>::max()))
                for (const DatabaseFile::HistoryPair& entry : pairs)
                    seen.Note(entry.pair.ip, entry.pair.mac, entry.pair.firstSeen,
                              entry.pair.lastSeen);
            std::vector<QStringList> cells;
            for (const DatabaseRecord* r : rows) {
                cells.push_back(RowCells(DatabaseColumns(), *r, {&m_oui, CellUse::Table, &seen}));
                for (QString& cell : cells.back())
                    cell = EscapeControlChars(cell);
            }
            m_out << FormatTextTable(DatabaseColumnTitles(), cells);
        } else {
            return Usage(QStringLiteral("unknown format \"%1\"").arg(name));
        }
        m_out.flush();
        return kDbDone;
    }

    int Export(const Words& words, const QStringList& operands)
    {
        QString error;
        if (!OnlyOptions(words, {"--format"}, &error))
            return Usage(error);
        if (operands.size() != 1)
            return Usage(QStringLiteral("export takes one file"));
        const QString path = operands[0];
        const std::optional<ExchangeFormat> format = ExportFormat(words, path);
        if (!format)
            return Usage(QStringLiteral("unknown format \"%1\"")
                             .arg(words.options.at(QStringLiteral("--format"))));
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        std::vector<const DatabaseRecord*> rows;
        int status = kDbDone;
        if (!ReadOnly(records, rows, &status))
            return status;
        if (!WriteWholeFile(path, WriteDatabaseRecords(*format, rows, &m_oui), &error))
            return Fail(
                QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), error));
        m_err << "lanvey-db: " << rows.size() << " records written to "
              << QDir::toNativeSeparators(path) << '\n';
        m_err.flush();
        return kDbDone;
    }

    int Import(const Words& words, const QStringList& operands)
    {
        QString error;
        if (!OnlyOptions(words, {"--replace", "--keep"}, &error))
            return Usage(error);
        if (operands.size() != 1)
            return Usage(QStringLiteral("import takes one file"));
        if (words.options.count(QStringLiteral("--replace")) &&
            words.options.count(QStringLiteral("--keep")))
            return Usage(QStringLiteral("--replace and --keep exclude each other"));
        const bool replace = words.options.count(QStringLiteral("--replace")) != 0;
        const QString path = operands[0];
        if (!QFileInfo(path).isFile())
            return Usage(QStringLiteral("no file %1").arg(QDir::toNativeSeparators(path)));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Fail(QStringLiteral("cannot read %1: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        const QByteArray bytes = file.readAll();

        CLanveyDoc doc;
        if (const int status = OpenForWriting(doc); status != kDbDone)
            return status;
        const ImportReadResult read = ReadRecords(bytes, doc.GetDatabaseRecords());
        if (read.format == ExchangeFormat::Unknown)
            return Fail(QStringLiteral("%1 is no file of hosts lanvey-db knows")
                            .arg(QDir::toNativeSeparators(path)));
        const MergeReport report = MergeImportedRecords(
            doc, read.records, [replace](const DatabaseRecord&, const DatabaseRecord&) {
                return replace ? ReplaceAnswer::YesToAll : ReplaceAnswer::NotToAll;
            });
        if (!report.committed)
            return Fail(QStringLiteral("the database %1 was not changed")
                            .arg(QDir::toNativeSeparators(m_path)));
        m_err << FormatLangStringA(132,
                                   "New Records:\t%d_RESULT%\nCover Records:\t%d_COVER%\nSkip "
                                   "Records:\t%d_IGNORE%\nSkip Empty HostName:\t%d_HOSTNAME%\n"
                                   "Error Records:\t%d_ERROR%",
                                   {report.newRecords, report.coverRecords, report.ignoreRecords, 0,
                                    int(read.errors.size())})
              << '\n';
        if (report.matchedRecords)
            m_err << ImportMatchedRowsText(report.matchedRecords) << '\n';
        if (read.cutRows)
            m_err << ImportCutRowsText(read.cutRows) << '\n';
        for (const ImportError& e : read.errors)
            m_err << "line " << e.line << ": " << EscapeControlChars(e.reason) << '\n';
        m_err.flush();
        return read.errors.empty() ? kDbDone : kDbFailed;
    }

    int Add(const Words& words, const QStringList& operands)
    {
        QString error;
        if (!OnlyOptions(words,
                         {"--name", "--workgroup", "--user", "--location", "--comment", "--color"},
                         &error))
            return Usage(error);
        if (operands.size() != 2)
            return Usage(QStringLiteral("add takes an IP address and a MAC address"));
        if (!IsValidIpAddress(operands[0]))
            return Usage(QStringLiteral("\"%1\" is not an IPv4 address").arg(operands[0]));
        if (!IsValidMacAddress(operands[1]))
            return Usage(QStringLiteral("\"%1\" is not a MAC address (six hex pairs joined by ':')")
                             .arg(operands[1]));
        auto record = std::make_unique<DatabaseRecord>();
        record->ip = GetIpAddress(operands[0]);
        record->mac = GetMacAddress(operands[1], QLatin1Char(':')) | kMacTopBits;
        const auto option = [&](const char* name) {
            const auto it = words.options.find(QString::fromLatin1(name));
            return it != words.options.end() ? it->second : QString();
        };
        record->hostName = option("--name");
        record->workgroup = option("--workgroup");
        record->userName = option("--user");
        record->location = option("--location");
        record->comment = option("--comment");
        if (words.options.count(QStringLiteral("--color"))) {
            const std::optional<ColorRef> color = ParseColor(option("--color"));
            if (!color)
                return Usage(
                    QStringLiteral("\"%1\" is not a colour (#RRGGBB)").arg(option("--color")));
            record->color = *color;
        }
        CLanveyDoc doc;
        if (const int status = OpenForWriting(doc); status != kDbDone)
            return status;
        if (doc.FindDatabaseRecordByIp(record->ip) >= 0)
            return Usage(QStringLiteral("%1 is in the database already").arg(operands[0]));
        if (!doc.AppendDatabaseRecord(std::move(record)))
            return Fail(QStringLiteral("the database %1 was not changed")
                            .arg(QDir::toNativeSeparators(m_path)));
        return kDbDone;
    }

    int Delete(const Words& words, const QStringList& operands)
    {
        QString error;
        if (!OnlyOptions(words, {}, &error))
            return Usage(error);
        if (operands.isEmpty())
            return Usage(QStringLiteral("delete takes one IP address or more"));
        for (const QString& ip : operands)
            if (!IsValidIpAddress(ip))
                return Usage(QStringLiteral("\"%1\" is not an IPv4 address").arg(ip));
        CLanveyDoc doc;
        if (const int status = OpenForWriting(doc); status != kDbDone)
            return status;
        int missing = 0;
        doc.BeginDatabaseChange();
        for (const QString& ip : operands) {
            const int index = doc.FindDatabaseRecordByIp(GetIpAddress(ip));
            if (index < 0) {
                m_err << "lanvey-db: " << ip << " is not in the database\n";
                ++missing;
                continue;
            }
            doc.DeleteDatabaseRecord(index);
        }
        if (!doc.EndDatabaseChange())
            return Fail(QStringLiteral("the database %1 was not changed")
                            .arg(QDir::toNativeSeparators(m_path)));
        m_err.flush();
        return missing ? kDbFailed : kDbDone;
    }

    QTextStream& m_out;
    QTextStream& m_err;
    QString m_path;
    CNVOUI m_oui;
};

} // namespace

int RunDbTool(const QStringList& args, QTextStream& out, QTextStream& err)
{
    return DbTool(out, err).Run(args);
}
