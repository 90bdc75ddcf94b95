// Draws the main window on each tab, the About box, the settings sheet and the database
// dialogs (the record editor, the in-place editor, the replace confirmation and the
// detail) and the name-table dialogs into PNG files, offscreen, in English and in Chinese:
// lanvey_screenshots DIR. The scan view gets a probe that answers nothing and no scan is started,
// so nothing goes on the network.
//
// lanvey_screenshots --lab DIR draws the window after a real scan of the test LAN's
// 198.18.0.0/24, with a database that knows some of its hosts, the Find dialog, and the
// Watch tab after a watch's first sweep. It
// scans, so it runs only inside the lab's scanner namespace (make screenshots does that
// as root).

#include "app/LanguageModule.h"
#include "app/LanveyApp.h"
#include "app/WatchSession.h"
#include "lang/LangString.h"
#include "lang/LangStringSource.h"
#include "lang/MessagePrompt.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "records/ScanMerge.h"
#include "scan/HostProbe.h"
#include "support/AddressText.h"
#include "ui/CMessageBoxPrompt.h"
#include "ui/commands/CommandIds.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/dialogs/CEditDlg.h"
#include "ui/dialogs/CFindDlg.h"
#include "ui/dialogs/CSettingSheet.h"
#include "ui/dialogs/CSettingWatchPage.h"
#include "ui/dialogs/CShowDetailDlg.h"
#include "ui/frame/CLanveyView.h"
#include "ui/frame/CMainFrame.h"
#include "ui/frame/CWatchControl.h"
#include "ui/lists/CDBView.h"
#include "ui/lists/CListViewEdit.h"
#include "ui/lists/CScanSession.h"
#include "ui/lists/CScanView.h"
#include "ui/lists/CWatchView.h"
#include "ui/nametable/CADDNMTMULDlg.h"
#include "ui/nametable/CAddNMTIPMACDlg.h"
#include "ui/nametable/CAddNMTListCtrl.h"
#include "ui/nametable/CAddToNMTDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cstdio>

namespace
{

class SilentProbe final : public HostProbe
{
public:
    bool ResolveMacAddress(quint32, quint64*) override { return false; }
    int QueryNetBiosNames(ProbeResult&) override { return 1; }
    // As an ordinary user's probe without the helper says it, for the target box's tip.
    QString ResolutionNotice() const override
    {
        return FormatLangString(
            0xF2D3,
            QStringLiteral("Address resolution: the kernel's neighbour table, the slow way: no "
                           "permission for raw sockets and no helper found.\nFor the fast way "
                           "install lanvey-arp and run: sudo setcap cap_net_raw+ep %s_HELPER%"),
            {QStringLiteral("/usr/lib/lanvey/lanvey-arp")});
    }
};

bool Grab(QWidget& widget, const QDir& dir, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    const QString path = dir.filePath(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "lanvey_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A modal dialog as it shows while it runs, closed again at once.
bool GrabModal(QDialog& dialog, const QDir& dir, const QString& name)
{
    bool ok = false;
    QTimer::singleShot(0, &dialog, [&] {
        ok = Grab(dialog, dir, name);
        dialog.reject();
    });
    dialog.exec();
    return ok;
}

std::unique_ptr<HostRecord> ScanHost(const char* ip, const char* mac, const char* name)
{
    auto record = std::make_unique<HostRecord>();
    record->ip = GetIpAddress(QString::fromLatin1(ip));
    record->mac = GetMacAddress(QString::fromLatin1(mac), QLatin1Char(':')) | kMacTopBits;
    record->hostName = QString::fromLatin1(name);
    record->workgroup = QStringLiteral("WORKGROUP");
    record->resolved = 1;
    return record;
}

// The lab's rows of the manifest: address, MAC and NetBIOS name of each host.
struct LabHost {
    QString ip;
    QString mac;
    QString hostName;
};

std::vector<LabHost> ReadLabHosts(const QString& path)
{
    std::vector<LabHost> hosts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return hosts;
    file.readLine(); // ip,mac,hostName,workgroup,role, then the columns of later labs
    while (!file.atEnd()) {
        // No field of the lab's manifest holds a comma or a quote.
        const QStringList fields = QString::fromUtf8(file.readLine()).trimmed().split(u',');
        if (fields.size() >= 5 && fields[4] == QLatin1String("host"))
            hosts.push_back({fields[0], fields[1], fields[2]});
    }
    return hosts;
}

std::unique_ptr<DatabaseRecord> KnownHost(const QString& ip, const QString& mac,
                                          const QString& hostName, const char* location,
                                          ColorRef color)
{
    auto record = std::make_unique<DatabaseRecord>();
    record->ip = GetIpAddress(ip);
    record->mac = GetMacAddress(mac, QLatin1Char(':'));
    record->hostName = hostName;
    record->location = QString::fromLatin1(location);
    record->color = color;
    return record;
}

// The texts of `language` from here on: the Chinese module the build puts beside us, or
// the built-in English; `prefix` starts the names of the pictures in it.
bool UseLanguage(CLanguageModule& module, const QString& language, QString* prefix)
{
    prefix->clear();
    if (language == QLatin1String("en_us"))
        return true;
    if (module.Load(QCoreApplication::applicationDirPath() + u'/', language,
                    QString::fromLatin1(kProductVersion)) != CLanguageModule::Status::Loaded) {
        std::fprintf(stderr, "lanvey_screenshots: no usable %s module\n", qPrintable(language));
        return false;
    }
    SetLangStringSource(module.Strings());
    *prefix = language + u'_';
    return true;
}

// The Watch tab after the first sweep of a watch of the lab's /24, in both languages.
bool GrabLabWatch(CLanveyDoc& doc, const QString& target, const QDir& dir)
{
    bool ok = true;
    for (const QString& language : {QStringLiteral("en_us"), QStringLiteral("zh_cn")}) {
        CLanguageModule module;
        QString prefix;
        if (!UseLanguage(module, language, &prefix))
            return false;
        FrameEnvironment env;
        env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
        env.openUrl = [](const QUrl&) { return true; };
        CMainFrame frame(doc, env);
        frame.resize(1280, 760);
        frame.show();
        frame.TargetCombo()->setEditText(target);
        frame.TabView()->SetCurSel(CLanveyView::kWatchTab);
        QEventLoop loop;
        WatchSession& watch = frame.Watch().Session();
        QObject::connect(&watch, &WatchSession::changed, &loop, [&] {
            if (!watch.IsSweeping() && !watch.Hosts().empty())
                loop.quit();
        });
        QTimer::singleShot(60000, &loop, [&loop] { loop.exit(1); });
        if (!frame.RouteCommand(ID_SCAN_WATCH) || loop.exec() != 0) {
            std::fprintf(stderr, "lanvey_screenshots: the watch's first sweep did not end\n");
            ok = false;
        } else {
            ok &= Grab(frame, dir, prefix + QStringLiteral("watch_lab.png"));
            // Scrolled to the watch's own columns: the state and when each was seen.
            QScrollBar* across = frame.TabView()->WatchView()->HostList()->horizontalScrollBar();
            across->setValue(across->maximum());
            ok &= Grab(frame, dir, prefix + QStringLiteral("watch_lab_seen.png"));
        }
        frame.RouteCommand(ID_SCAN_WATCH);
        SetLangStringSource(nullptr);
    }
    return ok;
}

// The window after a scan of the lab's /24, the database list and the Find dialog.
int GrabLab(const QDir& dir)
{
    const QString target = QStringLiteral("198.18.0.0/24");
    const QString scannerIp = QStringLiteral("198.18.0.254");
    const std::optional<std::vector<AdapterAddress>> adapters = QueryLocalAdapters();
    if (!adapters || std::none_of(adapters->begin(), adapters->end(), [&](const AdapterAddress& a) {
            return a.ip == GetIpAddress(scannerIp);
        })) {
        std::fprintf(stderr,
                     "lanvey_screenshots: --lab scans, so it runs only in the test LAN's scanner "
                     "namespace (lab/lab exec); %s is not an address here\n",
                     qPrintable(scannerIp));
        return 2;
    }
    const QString manifest =
        qEnvironmentVariable("LANVEY_LAB_MANIFEST", QStringLiteral("/run/lanvey-lab/manifest.csv"));
    const std::vector<LabHost> hosts = ReadLabHosts(manifest);
    const auto host = [&](const char* ip) -> const LabHost* {
        for (const LabHost& h : hosts)
            if (h.ip == QLatin1String(ip))
                return &h;
        return nullptr;
    };
    const LabHost* exact = host("198.18.0.1");
    const LabHost* moved = host("198.18.0.3");
    if (!exact || !moved) {
        std::fprintf(stderr, "lanvey_screenshots: %s lacks the lab's hosts\n",
                     qPrintable(manifest));
        return 1;
    }

    // A database in a data folder of its own: one host known exactly, one address that
    // now answers with another MAC, and one host that is not on the network.
    QTemporaryDir dataDir;
    const QString databasePath = QDir(dataDir.path()).filePath(QStringLiteral("Database.lvdat"));
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        records.push_back(KnownHost(exact->ip, exact->mac, exact->hostName, "Server room",
                                    MakeColorRef(0, 0, 0)));
        records.push_back(KnownHost(moved->ip, QStringLiteral("00:1B:44:11:3A:B7"),
                                    QStringLiteral("OLD-PRINTER"), "2nd floor",
                                    MakeColorRef(0xC0, 0, 0)));
        records.push_back(KnownHost(QStringLiteral("198.18.0.60"),
                                    QStringLiteral("02:00:00:4C:56:3C"), QStringLiteral("SPARE"),
                                    "Store", MakeColorRef(0, 0, 0xC0)));
        QString error;
        if (!DatabaseFile::Save(databasePath, records, &error)) {
            std::fprintf(stderr, "lanvey_screenshots: %s\n", qPrintable(error));
            return 1;
        }
    }
    CLanveyDoc doc;
    if (doc.OpenDatabase(databasePath).status != DatabaseLoadResult::Loaded) {
        std::fprintf(stderr, "lanvey_screenshots: cannot read %s\n", qPrintable(databasePath));
        return 1;
    }

    bool ok = true;
    {
        FrameEnvironment env;
        env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
        env.adapters = [adapters] { return adapters; };
        env.openUrl = [](const QUrl&) { return true; };
        CMainFrame frame(doc, env);
        frame.resize(1280, 760);
        frame.show();
        QApplication::processEvents();

        frame.TargetCombo()->setEditText(target);
        QEventLoop loop;
        QObject::connect(&frame.ScanSession(), &CScanSession::scanCompleted, &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, [&loop] { loop.exit(1); });
        if (!frame.RouteCommand(ID_SCAN_START) || loop.exec() != 0) {
            std::fprintf(stderr, "lanvey_screenshots: the scan of %s did not end\n",
                         qPrintable(target));
            return 1;
        }
        ok &= Grab(frame, dir, QStringLiteral("scan_lab.png"));

        // A few of the new hosts with other names go to the database, as Add To Database
        // takes them.
        std::vector<int> named;
        for (int row = 0; row < doc.GetScanRecordCount() && named.size() < 6; ++row) {
            const HostRecord* scan = doc.GetScanRecord(row);
            if (!scan->otherNames.empty() && doc.FindDatabaseRecordByIp(scan->ip) < 0)
                named.push_back(row);
        }
        MergeScanRecords(doc, named, {});
        frame.TabView()->SetCurSel(CLanveyView::kDatabaseTab);
        ok &= Grab(frame, dir, QStringLiteral("database_lab.png"));
        // The same list scrolled to its last columns, where the other names are.
        QScrollBar* across = frame.TabView()->DatabaseView()->horizontalScrollBar();
        across->setValue(across->maximum());
        ok &= Grab(frame, dir, QStringLiteral("database_lab_names.png"));
        across->setValue(0);

        frame.TabView()->SetCurSel(CLanveyView::kScanTab);
        frame.RouteCommand(ID_EDIT_FIND);
        CFindDlg& find = *frame.FindDialog();
        find.FindEdit()->setText(exact->hostName);
        find.FindEdit()->selectAll();
        ok &= Grab(find, dir, QStringLiteral("find.png"));
        find.hide();
        frame.close();
    }
    ok &= GrabLabWatch(doc, target, dir);
    doc.DeleteContents();
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool lab = argc == 3 && qstrcmp(argv[1], "--lab") == 0;
    if (argc != 2 && !lab) {
        std::fprintf(stderr, "usage: lanvey_screenshots [--lab] DIR\n");
        return 2;
    }
    const char* dirArg = argv[argc - 1];
    QDir dir(QString::fromLocal8Bit(dirArg));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "lanvey_screenshots: cannot create %s\n", dirArg);
        return 1;
    }
    // The pictures show a first start: no stored settings of this user are read or written.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    if (lab)
        return GrabLab(dir);

    CLanveyDoc doc;
    // Known hosts and two results of a scan: one the database knows under another MAC.
    const auto known = [&](const char* ip, const char* mac, const char* name, const char* location,
                           ColorRef color, OtherNames otherNames = {}) {
        auto record = KnownHost(QString::fromLatin1(ip), QString::fromLatin1(mac),
                                QString::fromLatin1(name), location, color);
        record->mac |= kMacTopBits;
        record->workgroup = QStringLiteral("WORKGROUP");
        record->otherNames = std::move(otherNames);
        doc.AppendDatabaseRecord(std::move(record));
    };
    known("192.168.1.1", "00:1A:2B:3C:4D:01", "GATEWAY", "Server room", MakeColorRef(0, 0, 0),
          {{QStringLiteral("gateway.office.lan"), NameSource::Dns}});
    known("192.168.1.20", "00:1B:44:11:3A:B7", "PRINTER-2F", "2nd floor", MakeColorRef(0xC0, 0, 0),
          {{QStringLiteral("printer-2f.local"), NameSource::Mdns}});
    known("192.168.1.35", "08:00:27:5E:10:35", "BUILD-PC", "Lab", MakeColorRef(0, 0x80, 0));
    auto printer = ScanHost("192.168.1.20", "3C:52:82:0A:11:20", "PRINTER-2F");
    printer->otherNames = {{QStringLiteral("printer-2f.local"), NameSource::Mdns},
                           {QStringLiteral("printer-2f.office.lan"), NameSource::Dns}};
    doc.AppendScanRecord(std::move(printer));
    doc.AppendScanRecord(ScanHost("192.168.1.50", "08:00:27:5E:10:35", "BUILD-PC"));
    // A phone with a random address, known by its multicast DNS name only.
    auto phone = ScanHost("192.168.1.64", "DA:A1:19:5C:22:64", "");
    phone->workgroup.clear();
    phone->otherNames = {{QStringLiteral("Annas-iPhone.local"), NameSource::Mdns}};
    doc.AppendScanRecord(std::move(phone));

    FrameEnvironment env;
    env.probe = std::make_shared<SilentProbe>();
    env.adapters = [] {
        return std::optional<std::vector<AdapterAddress>>(
            {MakeAdapterAddress(QStringLiteral("192.168.1.37"), QStringLiteral("255.255.255.0"))});
    };
    env.openUrl = [](const QUrl&) { return true; };

    bool ok = true;
    // Once in English, once with the Chinese language module the build puts beside us.
    for (const QString& language : {QStringLiteral("en_us"), QStringLiteral("zh_cn")}) {
        CLanguageModule module;
        QString prefix;
        if (!UseLanguage(module, language, &prefix)) {
            ok = false;
            continue;
        }
        CMainFrame frame(doc, env);
        frame.resize(1280, 760);
        frame.SetStatusPane1(FormatLangString(144, QStringLiteral("Found %d_HOSTS% hosts."),
                                              {doc.GetScanRecordCount()}));
        ok &= Grab(frame, dir, prefix + QStringLiteral("main_scan.png"));
        // The target box's tip: how addresses are resolved.
        {
            QComboBox* combo = frame.TargetCombo();
            QToolTip::showText(combo->mapToGlobal(QPoint(20, combo->height())), combo->toolTip(),
                               combo);
            QApplication::processEvents();
            QWidget* tip = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->inherits("QTipLabel") && widget->isVisible())
                    tip = widget;
            if (!tip) {
                std::fprintf(stderr, "lanvey_screenshots: the target box shows no tip\n");
                ok = false;
            } else {
                ok &= Grab(*tip, dir, prefix + QStringLiteral("target_tip.png"));
            }
            QToolTip::hideText();
        }
        // Every menu of the menu bar, opened, one picture each.
        int menuIndex = 0;
        for (QAction* title : frame.menuBar()->actions()) {
            if (QMenu* menu = title->menu()) {
                menu->ensurePolished();
                menu->adjustSize();
                const QString name = prefix + QStringLiteral("menu_%1.png").arg(++menuIndex);
                const QString path = dir.filePath(name);
                if (!menu->grab().save(path)) {
                    std::fprintf(stderr, "lanvey_screenshots: cannot write %s\n", qPrintable(path));
                    ok = false;
                } else {
                    std::printf("%s\n", qPrintable(path));
                }
            }
        }
        // The lists' own menus, as a right-click opens them.
        const auto grabMenu = [&](CCommonListView& list, const QString& name) {
            const std::unique_ptr<QMenu> menu = list.CreateContextMenu();
            menu->ensurePolished();
            menu->adjustSize();
            const QString path = dir.filePath(prefix + name);
            if (!menu->grab().save(path)) {
                std::fprintf(stderr, "lanvey_screenshots: cannot write %s\n", qPrintable(path));
                ok = false;
            } else {
                std::printf("%s\n", qPrintable(path));
            }
        };
        grabMenu(*frame.ScanView(), QStringLiteral("context_scan.png"));
        frame.TabView()->SetCurSel(CLanveyView::kDatabaseTab);
        ok &= Grab(frame, dir, prefix + QStringLiteral("main_database.png"));
        grabMenu(*frame.TabView()->DatabaseView(), QStringLiteral("context_database.png"));

        // The in-place editor over a host name cell.
        CDBView& database = *frame.TabView()->DatabaseView();
        database.StartInPlaceEdit(
            database.visualRect(database.model()->index(1, DbColHostName)).center());
        if (database.InPlaceEditor())
            database.InPlaceEditor()->setText(QStringLiteral("PRINTER-2F-EAST"));
        ok &= Grab(frame, dir, prefix + QStringLiteral("inplace_edit.png"));
        if (database.InPlaceEditor())
            database.InPlaceEditor()->EndAndHide();

        CEditDlg add(&frame);
        add.m_nMode = CEditDlg::AddMode;
        add.m_strIp = QStringLiteral("192.168.1.60");
        add.m_strMac = QStringLiteral("00:1A:2B:3C:4D:60");
        add.m_strHostName = QStringLiteral("NEW-LAPTOP");
        ok &= GrabModal(add, dir, prefix + QStringLiteral("editor_add.png"));

        const DatabaseRecord& printer = *doc.GetDatabaseRecord(1);
        CEditDlg properties(&frame);
        properties.m_nMode = CEditDlg::PropertiesMode;
        properties.m_strIp = FormatIpAddress(printer.ip);
        properties.m_strMac = FormatMacAddress(printer.mac);
        properties.m_strHostName = printer.hostName;
        properties.m_strWorkgroup = printer.workgroup;
        properties.m_strUserName = QStringLiteral("facilities");
        properties.m_strLocation = printer.location;
        properties.m_strComment = QStringLiteral("Colour laser, east wing");
        properties.m_color = printer.color;
        ok &= GrabModal(properties, dir, prefix + QStringLiteral("editor_properties.png"));

        CAlarmDlg confirm(doc.GetVendorTable(), &frame);
        confirm.m_scanRecord = *doc.GetScanRecord(0);
        confirm.m_dbRecord = printer;
        ok &= GrabModal(confirm, dir, prefix + QStringLiteral("replace_confirm.png"));

        CShowDetailDlg detail(&frame);
        detail.SetDetailText(DifferenceDetailText(doc, *doc.GetScanRecord(1)));
        ok &= GrabModal(detail, dir, prefix + QStringLiteral("detail.png"));

        // The import's replace confirmation and its lines not taken, and the question
        // after an export.
        CAlarmDlg importConfirm(doc.GetVendorTable(), &frame);
        importConfirm.SetGroupTitles(FormatLangStringA(205, "File Record"),
                                     FormatLangStringA(203, "Database Record"));
        importConfirm.m_scanRecord = *doc.GetScanRecord(0);
        importConfirm.m_dbRecord = printer;
        ok &= GrabModal(importConfirm, dir, prefix + QStringLiteral("import_confirm.png"));
        CShowDetailDlg importErrors(&frame);
        importErrors.SetDetailText(
            ImportErrorsText({{3, QStringLiteral("\"zz:00:00:00:00:03\" is not a MAC address")},
                              {7, QStringLiteral("\"10.0.0.300\" is not an IPv4 address")}}));
        ok &= GrabModal(importErrors, dir, prefix + QStringLiteral("import_errors.png"));
        // The import's report, with rows that matched their records and one cut to fit.
        QTimer::singleShot(0, &frame, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                ok &= Grab(*box, dir, prefix + QStringLiteral("import_done.png"));
                box->close();
            }
        });
        MergeReport imported;
        imported.newRecords = 12;
        imported.coverRecords = 3;
        imported.matchedRecords = 40;
        MakeMessageBoxPrompt()->Ask(
            ImportReportText(imported, 2, 1) + QStringLiteral("\n\n") +
                FormatLangStringA(0xF29E, "Show the lines that could not be imported?"),
            PromptButtons::YesNo, PromptIcon::Warning);
        QTimer::singleShot(0, &frame, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                ok &= Grab(*box, dir, prefix + QStringLiteral("export_done.png"));
                box->close();
            }
        });
        MakeMessageBoxPrompt()->Ask(
            FormatLangStringA(
                217,
                "The file \"%s_EXPORTFILENAME%\" has been exported successful.\r\n\r\n"
                "Would you like to open the file or open the containing folder?",
                {QStringLiteral("/home/user/hosts.csv")}),
            PromptButtons::OpenFileFolder, PromptIcon::Information);

        frame.TabView()->SetCurSel(CLanveyView::kScanTab);
        frame.ScanSession().SetRowCount(doc.GetScanRecordCount());
        ok &= Grab(frame, dir, prefix + QStringLiteral("scan_compared.png"));

        // The name-table dialogs: one address the analyzer holds already, both
        // addresses with one of them held, and several hosts with one alias being edited.
        CAddToNMTDlg toNameTable(&frame);
        toNameTable.m_bIsIpv4 = true;
        toNameTable.m_bIpPresent = true;
        toNameTable.m_strAddress = QStringLiteral("192.168.1.20");
        toNameTable.m_strAlias = QStringLiteral("PRINTER-2F");
        toNameTable.m_color = MakeColorRef(0xC0, 0, 0);
        ok &= GrabModal(toNameTable, dir, prefix + QStringLiteral("nametable_single.png"));

        CAddNMTIPMACDlg pairToNameTable(&frame);
        pairToNameTable.m_bMacPresent = true;
        pairToNameTable.m_strIp = QStringLiteral("192.168.1.20");
        pairToNameTable.m_strMac = QStringLiteral("00:1B:44:11:3A:B7");
        pairToNameTable.m_strAlias = QStringLiteral("PRINTER-2F");
        ok &= GrabModal(pairToNameTable, dir, prefix + QStringLiteral("nametable_pair.png"));

        for (int i = 0; i < doc.GetDatabaseRecordCount(); ++i) {
            const DatabaseRecord& record = *doc.GetDatabaseRecord(i);
            auto entry = std::make_unique<NameTableEntry>();
            entry->ip = record.ip;
            entry->mac = record.mac;
            entry->alias = record.hostName;
            doc.AppendNameTableEntry(std::move(entry));
        }
        CADDNMTMULDlg multiToNameTable(doc, &frame);
        multiToNameTable.m_bWithIpv4 = true;
        multiToNameTable.m_bWithMac = true;
        QTimer::singleShot(0, &multiToNameTable, [&] {
            CAddNMTListCtrl& list = *multiToNameTable.List();
            list.SetRowChecked(1, false);
            list.StartInPlaceEdit(list.visualRect(list.model()->index(2, 2)).center());
            if (list.InPlaceEditor())
                list.InPlaceEditor()->setText(QStringLiteral("BUILD-PC-LAB"));
            ok &= Grab(multiToNameTable, dir, prefix + QStringLiteral("nametable_multi.png"));
            if (list.InPlaceEditor())
                list.InPlaceEditor()->EndAndHide();
            multiToNameTable.reject();
        });
        multiToNameTable.exec();
        doc.ClearNameTableEntries();

        CAboutDlg about(&frame);
        ok &= Grab(about, dir, prefix + QStringLiteral("about.png"));

        CSettingSheet sheet(FormatLangString(140, QStringLiteral("Setting")), 0, &frame);
        ok &= Grab(sheet, dir, prefix + QStringLiteral("settings.png"));
        sheet.Tabs()->setCurrentIndex(1);
        ok &= Grab(sheet, dir, prefix + QStringLiteral("settings_watch.png"));
        sheet.hide();

        // The tray's menu, as it opens while a watch runs.
        QMenu& trayMenu = *frame.Watch().TrayMenu();
        trayMenu.ensurePolished();
        trayMenu.adjustSize();
        if (!trayMenu.grab().save(dir.filePath(prefix + QStringLiteral("tray_menu.png")))) {
            std::fprintf(stderr, "lanvey_screenshots: cannot write the tray menu\n");
            ok = false;
        }
        SetLangStringSource(nullptr);
    }
    return ok ? 0 : 1;
}
