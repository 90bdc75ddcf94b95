// The language resource module: the checks before one is used, the switch of every
// text to it, and the shipped Simplified Chinese table against the English one.

#include "StartupTestUtil.h"
#include "app/LanguageModule.h"
#include "ui/WindowedStartup.h"
#include "lang/AnsiCodePage.h"
#include "lang/LangString.h"
#include "records/DatabaseFile.h"
#include "app/LanguageRegistration.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLibrary>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

namespace
{

// The toolkit's own texts need a QApplication; it must exist before the sandbox makes a
// plain QCoreApplication.
class WidgetsApplication final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_language_module";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

const auto* const g_widgets = ::testing::AddGlobalTestEnvironment(new WidgetsApplication);

// Program folders the build filled with modules for these tests (see StartupTests.cmake).
QString ModuleFolder(const char* name)
{
    return QStringLiteral(LANVEY_TEST_MODULES "/%1/").arg(QLatin1String(name));
}

const QString kShippedFolder = QStringLiteral(LANVEY_BINARY_DIR "/");

class LanguageModule : public StartupSandbox
{
protected:
    // A normal start of a program in `appFolder` for a user of `language`.
    void Start(const QString& appFolder, const QString& language)
    {
        ASSERT_TRUE(NVMUI_WriteUserLanguage(language));
        options.appFolder = appFolder;
        app = std::make_unique<CLanveyApp>(options);
        ASSERT_TRUE(app->InitInstance(Args({}), Factory(calls)));
        EXPECT_EQ(app->m_strLanguage, language);
    }

    static QString Found(int hosts)
    {
        return FormatLangStringA(144, "Found %d_HOSTS% hosts.", {hosts});
    }

    RecordingMainWindow::Calls calls;
    std::unique_ptr<CLanveyApp> app;
};

TEST_F(LanguageModule, ChineseModuleSwitchesEveryTextToChinese)
{
    Start(kShippedFolder, "zh_cn");
    EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'\n').toStdString();
    EXPECT_EQ(Found(12), QStringLiteral("共发现 12 台主机。"));
    EXPECT_EQ(FormatLangStringA(145, "Scanning %s_IP% ...", {QStringLiteral("10.0.0.7")}),
              QStringLiteral("正在扫描 10.0.0.7 ..."));
    // The companion product of a Chinese user has its own name.
    EXPECT_TRUE(app->m_strAnalyzerDataFolder.endsWith("/Norvane Quillon/"));
}

TEST_F(LanguageModule, RejectedModulesLeaveTheProgramInEnglish)
{
    struct Case {
        const char* folder;
        const char* language;
        QString message; // empty: none
        CLanguageModule::Status status;
    };
    const auto path = [](const char* folder, const char* language) {
        return ModuleFolder(folder) + "mui/" + language + "/LanveyRes.so";
    };
    const Case cases[] = {
        {"claims_zh_tw", "zh_cn", "The language of resource file does not match!",
         CLanguageModule::Status::LanguageDiffers},
        {"older_build", "zh_cn", "The version of resource file does not match!",
         CLanguageModule::Status::VersionDiffers},
        {"newer_release", "zh_cn", "The version of resource file does not match!",
         CLanguageModule::Status::VersionDiffers},
        {"no_version", "zh_cn",
         "Couldn't get the version of resource file \"" + path("no_version", "zh_cn") + "\"!",
         CLanguageModule::Status::VersionUnreadable},
        {"claims_zh_tw", "de_de",
         "Couldn't Load Resource File \"" + path("claims_zh_tw", "de_de") + "\"!",
         CLanguageModule::Status::Missing},
        {"claims_zh_tw", "en_us", {}, CLanguageModule::Status::Missing},
        {"claims_zh_tw", "EN_US", {}, CLanguageModule::Status::Missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " " + c.language);
        prompt->shown.clear();
        Start(ModuleFolder(c.folder), c.language);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'\n').toStdString();
        } else {
            ASSERT_EQ(prompt->shown.size(), 1u);
            EXPECT_EQ(prompt->shown[0].text, c.message);
            EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
        }
        EXPECT_EQ(Found(3), "Found 3 hosts.");
        app.reset();

        CLanguageModule module;
        EXPECT_EQ(module.Load(ModuleFolder(c.folder), c.language, kProductVersion), c.status);
        EXPECT_EQ(module.Strings(), nullptr);
    }
}

TEST_F(LanguageModule, ASystemLocaleWithoutAModuleIsEnglishWithoutAMessage)
{
    // Nothing registered: the locale picks the language, and only a locale we have a
    // module for changes anything.
    struct Case {
        const char* locale;
        const char* language;
        QString found;
    };
    const Case cases[] = {
        {"en_GB", "en_us", "Found 3 hosts."},
        {"de_DE", "en_us", "Found 3 hosts."},
        {"fr_FR", "en_us", "Found 3 hosts."},
        {"C", "en_us", "Found 3 hosts."},
        {"zh_CN", "zh_cn", QStringLiteral("共发现 3 台主机。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        prompt->shown.clear();
        options.appFolder = kShippedFolder;
        options.systemLocaleName = QString::fromLatin1(c.locale);
        app = std::make_unique<CLanveyApp>(options);
        ASSERT_TRUE(app->InitInstance(Args({}), Factory(calls)));
        EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'\n').toStdString();
        EXPECT_EQ(app->m_strLanguage, QString::fromLatin1(c.language));
        EXPECT_EQ(Found(3), c.found);
        app.reset();
    }

    // A language the installer registered is another matter: its module must be there.
    prompt->shown.clear();
    options.systemLocaleName = QStringLiteral("en_US");
    Start(kShippedFolder, "de_de");
    EXPECT_EQ(prompt->Texts(), QStringList{"Couldn't Load Resource File \"" + kShippedFolder +
                                           "mui/de_de/LanveyRes.so\"!"});
}

TEST_F(LanguageModule, StartUpAndDatabaseMessagesFollowTheModule)
{
    // A file that is not ours is set aside, and the message says so in Chinese.
    WriteFile(DataFolder() + "Database.lvdat", "not a database, just text\n");
    Start(kShippedFolder, "zh_cn");
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_TRUE(prompt->shown[0].text.startsWith(QStringLiteral("文件“") + DataFolder()))
        << prompt->shown[0].text.toStdString();
    EXPECT_TRUE(prompt->shown[0].text.contains(QStringLiteral("不是 Lanvey 数据库")));
    // ...and so do the database file's own reasons.
    std::vector<std::unique_ptr<DatabaseRecord>> records;
    QString error;
    EXPECT_FALSE(DatabaseFile::Read(Path("nowhere.lvdat"), records, &error));
    EXPECT_EQ(error,
              QStringLiteral("没有数据库文件“") + Path("nowhere.lvdat") + QStringLiteral("”"));
    app.reset();
}

TEST_F(LanguageModule, TheUninstallersWaitIsInTheUsersLanguage)
{
    ASSERT_TRUE(NVMUI_WriteUserLanguage("zh_cn"));
    options.appFolder = kShippedFolder;
    CLanveyApp running(options);
    ASSERT_TRUE(running.InitInstance(Args({}), Factory(calls, [&running] {
                                         QTimer::singleShot(0,
                                                            [&running] { running.ExitInstance(); });
                                     })));
    SetLangStringSource(nullptr); // the uninstaller is a process of its own

    RecordingStartupUi ui;
    CLanveyApp uninstaller(options);
    RecordingMainWindow::Calls unused;
    EXPECT_TRUE(uninstaller.InitInstance(Args({"/Unregister"}), Factory(unused), &ui));
    EXPECT_EQ(calls.closed, 1);
    EXPECT_EQ(ui.text, QStringLiteral("正在停止 Norvane Lanvey 实例，请稍候..."));
    EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'\n').toStdString();
}

TEST_F(LanguageModule, TheToolkitsOwnTextsAndTheCodePageFollowTheModule)
{
    const auto buttonText = [](QMessageBox::StandardButton button) {
        QMessageBox box(QMessageBox::Question, QString(), QString(), button);
        return box.button(button)->text();
    };
    const QString englishYes = buttonText(QMessageBox::Yes);
    ASSERT_TRUE(englishYes.contains("Yes")) << englishYes.toStdString();

    CWindowedStartupUi startupUi;
    ASSERT_TRUE(NVMUI_WriteUserLanguage("zh_cn"));
    options.appFolder = kShippedFolder;
    app = std::make_unique<CLanveyApp>(options);
    ASSERT_TRUE(app->InitInstance(Args({}), Factory(calls), &startupUi));
    EXPECT_TRUE(buttonText(QMessageBox::Yes).contains(QStringLiteral("是")))
        << buttonText(QMessageBox::Yes).toStdString();
    EXPECT_TRUE(buttonText(QMessageBox::Save).contains(QStringLiteral("保存")));
    EXPECT_EQ(CurrentAnsiCodePage(), 936);
    app.reset();

    // Traditional Chinese has a table of its own ("Save" is written differently).
    startupUi.UseLanguage("zh_tw");
    EXPECT_TRUE(buttonText(QMessageBox::Save).contains(QStringLiteral("儲存")))
        << buttonText(QMessageBox::Save).toStdString();

    // A start in English takes the toolkit back to English too.
    ASSERT_TRUE(NVMUI_WriteUserLanguage("en_us"));
    app = std::make_unique<CLanveyApp>(options);
    ASSERT_TRUE(app->InitInstance(Args({}), Factory(calls), &startupUi));
    EXPECT_EQ(buttonText(QMessageBox::Yes), englishYes);
    EXPECT_EQ(CurrentAnsiCodePage(), 1252);
}

TEST_F(LanguageModule, AModuleThatDoesNotNameItsLanguageIsTakenAtItsWord)
{
    Start(ModuleFolder("no_language_id"), "zh_cn");
    EXPECT_TRUE(prompt->shown.empty());
    EXPECT_EQ(Found(1), QStringLiteral("共发现 1 台主机。"));
}

TEST_F(LanguageModule, ModuleMustMatchTheProgramsVersionExactly)
{
    CLanguageModule module;
    EXPECT_EQ(module.Load(kShippedFolder, "zh_cn", QString::fromLatin1(kProductVersion)),
              CLanguageModule::Status::Loaded);
    EXPECT_EQ(module.Load(kShippedFolder, "zh_cn", "2.2.1.316"),
              CLanguageModule::Status::VersionDiffers);
    EXPECT_EQ(module.Load(kShippedFolder, "zh_cn", "3.2.1.315"),
              CLanguageModule::Status::VersionDiffers);

    EXPECT_EQ(ParseVersionHalves("2.2.1.315"), (VersionHalves{0x00020002, 0x0001013B}));
    EXPECT_EQ(ParseVersionHalves("65535.0.0.1"), (VersionHalves{0xFFFF0000, 1}));
    for (const char* bad : {"2.2.1", "2.2.1.315.0", "2.2.1.65536", "2.x.1.3", ""})
        EXPECT_EQ(ParseVersionHalves(bad), std::nullopt) << bad;
}

// ---------------------------------------------------------------------------------------
// The shipped translation

std::optional<LangStringTable> ReadTable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString error;
    auto table = LangStringTable::Parse(QString::fromUtf8(file.readAll()), &error);
    EXPECT_TRUE(table.has_value()) << path.toStdString() << ": " << error.toStdString();
    return table;
}

QStringList Placeholders(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%[^%\\s]*_[^%\\s]*%"));
    QStringList found;
    for (const auto& match : placeholder.globalMatch(text))
        found << match.captured();
    found.sort();
    return found;
}

TEST(LanguageModuleTable, ChineseTranslatesEveryEnglishMessageWithItsPlaceholders)
{
    const auto english = ReadTable(QStringLiteral(LANVEY_SOURCE_DIR "/res/lang/en_us.txt"));
    const auto chinese = ReadTable(QStringLiteral(LANVEY_SOURCE_DIR "/res/lang/zh_cn.txt"));
    ASSERT_TRUE(english && chinese);
    QList<quint16> englishIds = english->strings().keys();
    QList<quint16> chineseIds = chinese->strings().keys();
    std::sort(englishIds.begin(), englishIds.end());
    std::sort(chineseIds.begin(), chineseIds.end());
    EXPECT_EQ(chineseIds, englishIds);

    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    static const QRegularExpression namesOnly(
        QStringLiteral("^(Norvane |Lanvey|\\.Document|\\s)*$"));
    for (const quint16 id : englishIds) {
        SCOPED_TRACE(id);
        const QString en = english->strings().value(id);
        const QString zh = chinese->strings().value(id);
        EXPECT_EQ(Placeholders(zh), Placeholders(en));
        EXPECT_EQ(zh.count(QStringLiteral("\r\n")), en.count(QStringLiteral("\r\n")));
        EXPECT_EQ(zh.count(u'\n'), en.count(u'\n'));
        // Everything but the product and document names is in Chinese.
        if (!namesOnly.match(en).hasMatch()) {
            EXPECT_TRUE(zh.contains(han)) << zh.toStdString();
        }
    }
}

TEST(LanguageModuleTable, ShippedModuleCarriesTheTranslationFile)
{
    QLibrary library(kShippedFolder + "mui/zh_cn/LanveyRes.so");
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    using Text = const char* (*)();
    const auto langId = reinterpret_cast<Text>(library.resolve("GetLangStrID"));
    const auto table = reinterpret_cast<Text>(library.resolve("LanveyResStringTable"));
    ASSERT_TRUE(langId && table);
    EXPECT_STREQ(langId(), "zh_cn");
    const auto fromModule = LangStringTable::Parse(QString::fromUtf8(table()));
    const auto fromFile = ReadTable(QStringLiteral(LANVEY_SOURCE_DIR "/res/lang/zh_cn.txt"));
    ASSERT_TRUE(fromModule && fromFile);
    EXPECT_EQ(fromModule->strings(), fromFile->strings());
}

} // namespace
