// lanvey-analyzer-standin: a peer that speaks the analyzer's name-table protocol, for
// tests and demonstrations.
//
//   lanvey-analyzer-standin [--name SERVER] [--table FILE] [--too-old] [--fail-adds]
//                           [--delay-start SECONDS] [--hang] [--no-window]
//
// With a display it shows its table in a small window; without one, or with
// --no-window, it only listens.
//   lanvey-analyzer-standin [--table FILE] --list

#include "lang/DisplayText.h"
#include "nametable/AnalyzerLink.h"
#include "standin/StandInAnalyzer.h"
#include "standin/StandInWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

// A window needs a display; the option parser needs the application, so this looks at
// the arguments itself.
bool WantsWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--no-window") || !std::strcmp(argv[i], "--list") ||
            !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return false;
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv)
{
    const bool window = WantsWindow(argc, argv);
    std::unique_ptr<QCoreApplication> application =
        window ? std::make_unique<QApplication>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("server to listen as"),
                                  QStringLiteral("SERVER"));
    const QCommandLineOption table(QStringLiteral("table"), QStringLiteral("name table file"),
                                   QStringLiteral("FILE"));
    const QCommandLineOption tooOld(QStringLiteral("too-old"), QStringLiteral("answer 0"));
    const QCommandLineOption failAdds(QStringLiteral("fail-adds"),
                                      QStringLiteral("answer every add with 0x101"));
    const QCommandLineOption delay(QStringLiteral("delay-start"),
                                   QStringLiteral("listen only after SECONDS"),
                                   QStringLiteral("SECONDS"));
    const QCommandLineOption hang(QStringLiteral("hang"), QStringLiteral("never answer"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("print the table"));
    const QCommandLineOption noWindow(QStringLiteral("no-window"),
                                      QStringLiteral("listen without showing the table"));
    parser.addOptions({name, table, tooOld, failAdds, delay, hang, list, noWindow});
    parser.addHelpOption();
    parser.process(*application);

    CStandInAnalyzer::Options options;
    options.serverName = parser.isSet(name) ? parser.value(name) : AnalyzerServerName();
    options.tableFile =
        parser.isSet(table)
            ? parser.value(table)
            : QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                  .filePath(QStringLiteral("Norvane Tessera/NameTable.json"));
    options.tooOld = parser.isSet(tooOld);
    options.failAdds = parser.isSet(failAdds);
    options.hang = parser.isSet(hang);

    if (parser.isSet(list)) {
        for (const QJsonValue& value : CStandInAnalyzer::ReadTable(options.tableFile)) {
            const QJsonObject entry = value.toObject();
            std::printf("%s\t%s\t%s\t%s\n",
                        qPrintable(entry.value(QStringLiteral("kind")).toString()),
                        qPrintable(entry.value(QStringLiteral("address")).toString()),
                        EscapeControlChars(entry.value(QStringLiteral("alias")).toString())
                            .toUtf8()
                            .constData(),
                        qPrintable(entry.value(QStringLiteral("color")).toString()));
        }
        return 0;
    }
    if (options.serverName.isEmpty()) {
        std::fprintf(stderr, "lanvey-analyzer-standin: no private runtime folder to listen in\n");
        return 2;
    }
    QDir().mkpath(QFileInfo(options.tableFile).absolutePath());
    CStandInAnalyzer analyzer(options);
    std::unique_ptr<CStandInWindow> shown;
    if (window) {
        shown = std::make_unique<CStandInWindow>(analyzer);
        shown->show();
    }
    bool ok = false;
    const int delayMs = parser.isSet(delay) ? int(parser.value(delay).toDouble(&ok) * 1000) : 0;
    QTimer::singleShot(ok ? delayMs : 0, &analyzer, [&] {
        QString error;
        if (!analyzer.Listen(&error)) {
            std::fprintf(stderr, "lanvey-analyzer-standin: cannot listen as %s: %s\n",
                         qPrintable(options.serverName), qPrintable(error));
            QCoreApplication::exit(1);
        }
    });
    return QCoreApplication::exec();
}
