// The dialogs that confirm a name-table transfer, driven as a user does: the notice and
// caption for each answer of the analyzer, the alias a dialog refuses, the colour it hands
// back, and the multi-host list with its check boxes, "Select All" and the alias edited in
// place.

#include "ScriptedPrompt.h"
#include "app/LanguageModule.h"
#include "app/LanveyApp.h"
#include "lang/LangStringSource.h"
#include "records/LanveyDoc.h"
#include "support/AddressText.h"
#include "test_ui_util.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/lists/CListViewEdit.h"
#include "ui/nametable/CADDNMTMULDlg.h"
#include "ui/nametable/CAddNMTIPMACDlg.h"
#include "ui/nametable/CAddNMTListCtrl.h"
#include "ui/nametable/CAddToNMTDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace
{

// Runs `dialog` modally with `act` as the user; whatever `act` leaves open is cancelled,
// so a failed expectation cannot hang the suite.
template <class D> int RunModal(D& dialog, std::function<void(D&)> act)
{
    WhenModal<D> user([&](D& shown) {
        act(shown);
        if (shown.isVisible())
            shown.reject();
    });
    const int result = dialog.exec();
    EXPECT_EQ(user.shown, 1);
    return result;
}

template <class D> void ClickOk(D& dialog)
{
    QTest::mouseClick(dialog.template findChild<QPushButton*>(QStringLiteral("ButtonOk")),
                      Qt::LeftButton);
}

void Type(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

const char* const kAliasEmpty = "Alias can't Empty!";

// ---------------------------------------------------------------------------------------
// One host, one address

struct SingleCase {
    bool isIpv4;
    bool ipPresent;
    bool macPresent;
    const char* caption;
    const char* notice;
    const char* label;
};

TEST(NameTableSingleDialog, CaptionNoticeAndLabelFollowTheKindAndTheAnalyzersAnswer)
{
    const SingleCase cases[] = {
        {true, true, false, "Add IP Address To NameTable",
         "IP Address has been existence in NameTable!", "IP Address:"},
        {true, false, false, "Add IP Address To NameTable", "It is a new record in NameTable!",
         "IP Address:"},
        {false, false, true, "Add MAC Address To NameTable",
         "MAC Address has been existence in NameTable!", "MAC Address:"},
        {false, false, false, "Add MAC Address To NameTable", "It is a new record in NameTable!",
         "MAC Address:"},
        // The other kind's flag is no news about this address: the built notice stays.
        {true, false, true, "Add IP Address To NameTable", "This is a new IP address ",
         "IP Address:"},
        {false, true, false, "Add MAC Address To NameTable", "This is a new IP address ",
         "MAC Address:"},
    };
    for (const SingleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.isIpv4 << c.ipPresent << c.macPresent);
        CAddToNMTDlg dialog;
        dialog.m_bIsIpv4 = c.isIpv4;
        dialog.m_bIpPresent = c.ipPresent;
        dialog.m_bMacPresent = c.macPresent;
        dialog.m_strAddress =
            c.isIpv4 ? QStringLiteral("192.168.1.20") : QStringLiteral("00:1B:44:11:3A:B7");
        dialog.m_strAlias = QStringLiteral("PRINTER-2F");
        RunModal<CAddToNMTDlg>(dialog, [&](CAddToNMTDlg& shown) {
            EXPECT_EQ(shown.windowTitle(), QString::fromLatin1(c.caption));
            EXPECT_EQ(shown.NoticeLabel()->text(), QString::fromLatin1(c.notice));
            EXPECT_EQ(shown.AddressLabel()->text(), QString::fromLatin1(c.label));
            EXPECT_EQ(shown.AddressEdit()->text(), dialog.m_strAddress);
            EXPECT_TRUE(shown.AddressEdit()->isReadOnly());
            EXPECT_FALSE(shown.AliasEdit()->isReadOnly());
            EXPECT_EQ(shown.AliasEdit()->text(), QStringLiteral("PRINTER-2F"));
            shown.reject();
        });
    }
}

// ---------------------------------------------------------------------------------------
// One host, both addresses

TEST(NameTablePairDialog, TheTwoLineNoticeSaysWhichAddressTheAnalyzerHolds)
{
    const struct {
        bool ipPresent;
        bool macPresent;
        const char* notice;
    } cases[] = {
        {true, false,
         "IP Address has been existence in NameTable!\nMAC Address is a new record in NameTable! "},
        {false, true,
         "IP Address is a new record in NameTable! \nMAC Address has been existence in NameTable!"},
        {true, true,
         "IP Address has been existence in NameTable!\nMAC Address has been existence in "
         "NameTable!"},
        {false, false, "New IP address and MAC address records in Name Table!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ipPresent << c.macPresent);
        CAddNMTIPMACDlg dialog;
        dialog.m_bIpPresent = c.ipPresent;
        dialog.m_bMacPresent = c.macPresent;
        dialog.m_strIp = QStringLiteral("192.168.1.20");
        dialog.m_strMac = QStringLiteral("00:1B:44:11:3A:B7");
        dialog.m_strAlias = QStringLiteral("PRINTER-2F");
        RunModal<CAddNMTIPMACDlg>(dialog, [&](CAddNMTIPMACDlg& shown) {
            EXPECT_EQ(shown.windowTitle(),
                      QStringLiteral("Add IP Address and MAC Address to NameTable"));
            EXPECT_EQ(shown.NoticeLabel()->text(), QString::fromLatin1(c.notice));
            EXPECT_EQ(shown.IpEdit()->text(), QStringLiteral("192.168.1.20"));
            EXPECT_EQ(shown.MacEdit()->text(), QStringLiteral("00:1B:44:11:3A:B7"));
            EXPECT_TRUE(shown.IpEdit()->isReadOnly());
            EXPECT_TRUE(shown.MacEdit()->isReadOnly());
            EXPECT_FALSE(shown.AliasEdit()->isReadOnly());
            shown.reject();
        });
    }
}

// ---------------------------------------------------------------------------------------
// What both single-host dialogs share: the alias check and the colour

template <class D> class NameTableSingleHost : public ::testing::Test
{
protected:
    ScopedScriptedPrompt prompt;
};
using SingleHostDialogs = ::testing::Types<CAddToNMTDlg, CAddNMTIPMACDlg>;
TYPED_TEST_SUITE(NameTableSingleHost, SingleHostDialogs);

TYPED_TEST(NameTableSingleHost, AnEmptyAliasIsRefusedWithTheFocusOnIt)
{
    TypeParam dialog;
    dialog.m_strAlias = QString(); // a scan host whose names were not in yet
    const int result = RunModal<TypeParam>(dialog, [&](TypeParam& shown) {
        shown.ColorPicker()->setFocus();
        ClickOk(shown);
        ASSERT_EQ(this->prompt->shown.size(), 1u);
        EXPECT_EQ(this->prompt->shown[0].text, QString::fromLatin1(kAliasEmpty));
        EXPECT_EQ(this->prompt->shown[0].icon, PromptIcon::Error);
        EXPECT_EQ(this->prompt->shown[0].buttons, PromptButtons::Ok);
        EXPECT_TRUE(shown.isVisible());
        EXPECT_EQ(shown.focusWidget(), shown.AliasEdit());

        Type(shown.AliasEdit(), QStringLiteral("lab printer"));
        ClickOk(shown);
        EXPECT_FALSE(shown.isVisible());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(this->prompt->shown.size(), 1u);
    EXPECT_EQ(dialog.m_strAlias, QStringLiteral("lab printer"));
}

TYPED_TEST(NameTableSingleHost, OkHandsBackThePickersColourAndCancelNothing)
{
    const ColorRef windowText =
        CColorPicker::FromQColor(QApplication::palette().color(QPalette::WindowText));
    const ColorRef chosen = MakeColorRef(0xC0, 0x20, 0x10);
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok);
        TypeParam dialog;
        dialog.m_strAlias = QStringLiteral("NAS");
        dialog.m_color = MakeColorRef(0, 0x80, 0);
        const int result = RunModal<TypeParam>(dialog, [&](TypeParam& shown) {
            EXPECT_EQ(shown.ColorPicker()->GetColor(), MakeColorRef(0, 0x80, 0));
            EXPECT_EQ(shown.ColorPicker()->GetDefaultColor(), windowText);
            shown.ColorPicker()->SetColor(chosen);
            Type(shown.AliasEdit(), QStringLiteral("NAS-2"));
            if (ok)
                ClickOk(shown);
            else
                QTest::mouseClick(
                    shown.template findChild<QPushButton*>(QStringLiteral("ButtonCancel")),
                    Qt::LeftButton);
        });
        EXPECT_EQ(result, ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(dialog.m_color, ok ? chosen : MakeColorRef(0, 0x80, 0));
        EXPECT_EQ(dialog.m_strAlias, ok ? QStringLiteral("NAS-2") : QStringLiteral("NAS"));
    }
}

TYPED_TEST(NameTableSingleHost, AProposedAliasShowsWithoutControlCharactersAndGoesBackAsItCame)
{
    TypeParam dialog;
    const QString received = QStringLiteral("BUILD\x01PC");
    dialog.m_strAlias = received;
    const int result = RunModal<TypeParam>(dialog, [&](TypeParam& shown) {
        EXPECT_EQ(shown.AliasEdit()->text(), QStringLiteral("BUILD\uFFFDPC"));
        ClickOk(shown);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.m_strAlias, received);
}

// ---------------------------------------------------------------------------------------
// Several hosts

class NameTableMultiDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Add("192.168.1.1", "00:1A:2B:3C:4D:01", "GATEWAY");
        Add("192.168.1.20", "00:1B:44:11:3A:B7", "PRINTER-2F");
        Add("192.168.1.35", "08:00:27:5E:10:35", "BUILD-PC");
        Add("192.168.1.50", "02:00:00:00:00:50", "SPARE");
    }
    void TearDown() override { doc.ClearNameTableEntries(); }

    void Add(const char* ip, const char* mac, const char* alias)
    {
        auto entry = std::make_unique<NameTableEntry>();
        entry->ip = GetIpAddress(QString::fromLatin1(ip));
        entry->mac = GetMacAddress(QString::fromLatin1(mac), QLatin1Char(':')) | kMacTopBits;
        entry->alias = QString::fromUtf8(alias);
        doc.AppendNameTableEntry(std::move(entry));
    }
    NameTableEntry& Entry(int i) { return *doc.GetNameTableEntry(i); }

    static QStringList Headers(CAddNMTListCtrl& list)
    {
        QStringList titles;
        for (int column = 0; column < list.columnCount(); ++column)
            titles << list.horizontalHeaderItem(column)->text();
        return titles;
    }
    static QStringList Row(CAddNMTListCtrl& list, int row)
    {
        QStringList cells;
        for (int column = 0; column < list.columnCount(); ++column)
            cells << list.item(row, column)->text();
        return cells;
    }
    static QRect Cell(CAddNMTListCtrl& list, int row, int column)
    {
        return list.visualRect(list.model()->index(row, column));
    }
    // A click on a row's check box, where the style draws it in the first cell.
    static void ClickCheck(CAddNMTListCtrl& list, int row)
    {
        const QRect cell = Cell(list, row, 0);
        const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        const int width = list.style()->pixelMetric(QStyle::PM_IndicatorWidth);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          QPoint(cell.left() + margin + width / 2, cell.center().y()));
    }
    static void DoubleClick(CAddNMTListCtrl& list, int row, int column)
    {
        const QPoint at = Cell(list, row, column).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    }
    static bool Editing(CAddNMTListCtrl& list)
    {
        return list.InPlaceEditor() && list.InPlaceEditor()->isVisible();
    }
    static QList<int> SelectedRows(CAddNMTListCtrl& list)
    {
        QList<int> rows;
        for (const QModelIndex& index : list.selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // Runs the dialog with both addresses unless told otherwise.
    int RunDialog(std::function<void(CADDNMTMULDlg&)> act, bool withIpv4 = true,
                  bool withMac = true)
    {
        CADDNMTMULDlg dialog(doc, nullptr);
        dialog.m_bWithIpv4 = withIpv4;
        dialog.m_bWithMac = withMac;
        return RunModal<CADDNMTMULDlg>(dialog, [&](CADDNMTMULDlg& shown) {
            QApplication::setActiveWindow(&shown);
            act(shown);
        });
    }

    ScopedScriptedPrompt prompt;
    CLanveyDoc doc;
};

TEST_F(NameTableMultiDialog, CaptionAndColumnsFollowTheAddressKindsAndEveryRowStartsChecked)
{
    const struct {
        bool ipv4;
        bool mac;
        const char* caption;
        QStringList headers;
        QStringList second;
    } cases[] = {
        {true,
         false,
         "Add IP Address To NameTable",
         {"IP Address", "alias"},
         {"192.168.1.20", "PRINTER-2F"}},
        {false,
         true,
         "Add MAC Address To NameTable",
         {"MAC Address", "alias"},
         {"00:1B:44:11:3A:B7", "PRINTER-2F"}},
        {true,
         true,
         "Add IP Address and MAC Address To NameTable",
         {"IP Address", "MAC Address", "alias"},
         {"192.168.1.20", "00:1B:44:11:3A:B7", "PRINTER-2F"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        RunDialog(
            [&](CADDNMTMULDlg& shown) {
                CAddNMTListCtrl& list = *shown.List();
                EXPECT_EQ(shown.windowTitle(), QString::fromLatin1(c.caption));
                EXPECT_EQ(Headers(list), c.headers);
                for (int column = 0; column < list.columnCount(); ++column) {
                    EXPECT_EQ(list.columnWidth(column), 130);
                    EXPECT_EQ(Qt::Alignment(list.horizontalHeaderItem(column)->textAlignment()) &
                                  Qt::AlignHorizontal_Mask,
                              Qt::AlignLeft);
                }
                ASSERT_EQ(list.rowCount(), 4);
                EXPECT_EQ(Row(list, 1), c.second);
                for (int row = 0; row < 4; ++row)
                    EXPECT_TRUE(list.IsRowChecked(row)) << row;
                EXPECT_TRUE(shown.SelectAllBox()->isChecked());
                EXPECT_TRUE(list.showGrid());
                EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
            },
            c.ipv4, c.mac);
    }
}

TEST_F(NameTableMultiDialog, SelectAllFollowsTheRowsAndAClickOnItSetsThemAll)
{
    Entry(2).alias = QStringLiteral("BUILD\x1B[2JPC");
    RunDialog([&](CADDNMTMULDlg& shown) {
        CAddNMTListCtrl& list = *shown.List();
        QCheckBox& all = *shown.SelectAllBox();
        EXPECT_EQ(list.item(2, 2)->text(), QStringLiteral("BUILD\uFFFD[2JPC"));

        ClickCheck(list, 1);
        ASSERT_FALSE(list.IsRowChecked(1));
        EXPECT_FALSE(all.isChecked());
        ClickCheck(list, 3);
        EXPECT_FALSE(all.isChecked());
        ClickCheck(list, 1);
        EXPECT_FALSE(all.isChecked()); // row 3 is still off
        ClickCheck(list, 3);
        EXPECT_TRUE(all.isChecked());

        // The box itself: all off, the focus on the list; all on again.
        shown.findChild<QPushButton*>(QStringLiteral("ButtonOk"))->setFocus();
        QTest::mouseClick(&all, Qt::LeftButton);
        EXPECT_FALSE(all.isChecked());
        for (int row = 0; row < 4; ++row)
            EXPECT_FALSE(list.IsRowChecked(row)) << row;
        EXPECT_EQ(shown.focusWidget(), &list);
        // One row back on is not all of them.
        ClickCheck(list, 0);
        EXPECT_FALSE(all.isChecked());
        QTest::mouseClick(&all, Qt::LeftButton);
        EXPECT_TRUE(all.isChecked());
        for (int row = 0; row < 4; ++row)
            EXPECT_TRUE(list.IsRowChecked(row)) << row;
        // Unchecking after "Select All" is noticed again.
        ClickCheck(list, 2);
        EXPECT_FALSE(all.isChecked());
    });
}

TEST_F(NameTableMultiDialog, OnlyTheAliasCellOpensTheEditorAndTheTypedAliasReachesTheEntry)
{
    RunDialog([&](CADDNMTMULDlg& shown) {
        CAddNMTListCtrl& list = *shown.List();
        DoubleClick(list, 1, 0);
        EXPECT_FALSE(Editing(list));
        DoubleClick(list, 1, 1);
        EXPECT_FALSE(Editing(list));
        EXPECT_TRUE(list.IsRowChecked(1));

        DoubleClick(list, 1, 2);
        ASSERT_TRUE(Editing(list));
        CListViewEdit& editor = *list.InPlaceEditor();
        const QRect cell = Cell(list, 1, 2);
        EXPECT_EQ(editor.geometry().left(), cell.left() + 4);
        EXPECT_EQ(editor.geometry().width(), 130 - 3);
        EXPECT_EQ(editor.text(), QStringLiteral("PRINTER-2F"));
        Type(&editor, QStringLiteral("PRINTER-EAST"));
        QTest::keyClick(&editor, Qt::Key_Return);
        EXPECT_FALSE(Editing(list));
        EXPECT_TRUE(shown.isVisible()); // Enter ended the edit, not the dialog
        EXPECT_EQ(list.item(1, 2)->text(), QStringLiteral("PRINTER-EAST"));
        EXPECT_EQ(Entry(1).alias, QStringLiteral("PRINTER-EAST"));

        // Escape leaves cell and entry as they were; the editor is the same one.
        DoubleClick(list, 2, 2);
        ASSERT_TRUE(Editing(list));
        EXPECT_EQ(list.InPlaceEditor(), &editor);
        Type(&editor, QStringLiteral("nothing"));
        QTest::keyClick(&editor, Qt::Key_Escape);
        EXPECT_EQ(list.item(2, 2)->text(), QStringLiteral("BUILD-PC"));
        EXPECT_EQ(Entry(2).alias, QStringLiteral("BUILD-PC"));

        // A change of any row ends the edit with what was typed and hides the editor.
        DoubleClick(list, 3, 2);
        ASSERT_TRUE(Editing(list));
        Type(&editor, QStringLiteral("SPARE-1"));
        list.SetRowChecked(0, false);
        EXPECT_FALSE(Editing(list));
        EXPECT_EQ(Entry(3).alias, QStringLiteral("SPARE-1"));
    });
    EXPECT_EQ(Entry(1).alias, QStringLiteral("PRINTER-EAST"));
}

TEST_F(NameTableMultiDialog, AnAliasColumnWiderThanTheListGetsAnEditorCutAtItsRightEdge)
{
    RunDialog([&](CADDNMTMULDlg& shown) {
        CAddNMTListCtrl& list = *shown.List();
        list.setColumnWidth(2, 2 * list.viewport()->width());
        DoubleClick(list, 0, 2);
        ASSERT_TRUE(Editing(list));
        const QRect editor = list.InPlaceEditor()->geometry();
        EXPECT_EQ(editor.left(), Cell(list, 0, 2).left() + 4);
        EXPECT_EQ(editor.right(), list.viewport()->rect().right());
    });
}

TEST_F(NameTableMultiDialog, OnlyTheLastColumnIsTheAliasWithOneAddressKind)
{
    RunDialog(
        [&](CADDNMTMULDlg& shown) {
            CAddNMTListCtrl& list = *shown.List();
            ASSERT_EQ(list.columnCount(), 2);
            DoubleClick(list, 0, 0);
            EXPECT_FALSE(Editing(list));
            DoubleClick(list, 0, 1);
            ASSERT_TRUE(Editing(list));
            Type(list.InPlaceEditor(), QStringLiteral("ROUTER"));
            QTest::keyClick(list.InPlaceEditor(), Qt::Key_Return);
            EXPECT_EQ(Entry(0).alias, QStringLiteral("ROUTER"));
            EXPECT_EQ(Entry(0).ip, GetIpAddress(QStringLiteral("192.168.1.1")));
        },
        false, true);
}

TEST_F(NameTableMultiDialog, OkRefusesACheckedRowWithoutAliasAndMarksNothingUntilItHasOne)
{
    Entry(3).alias.clear(); // unchecked below: its empty alias does not matter
    const int result = RunDialog([&](CADDNMTMULDlg& shown) {
        CAddNMTListCtrl& list = *shown.List();
        ClickCheck(list, 3);
        ASSERT_FALSE(list.IsRowChecked(3));
        DoubleClick(list, 2, 2);
        ASSERT_TRUE(Editing(list));
        Type(list.InPlaceEditor(), QString());
        QTest::keyClick(list.InPlaceEditor(), Qt::Key_Return);
        ASSERT_TRUE(Entry(2).alias.isEmpty());
        list.selectRow(0);

        ClickOk(shown);
        ASSERT_EQ(prompt->shown.size(), 1u);
        EXPECT_EQ(prompt->shown[0].text, QString::fromLatin1(kAliasEmpty));
        EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
        EXPECT_TRUE(shown.isVisible());
        EXPECT_EQ(SelectedRows(list), QList<int>{2});
        EXPECT_EQ(list.currentRow(), 2);
        EXPECT_EQ(shown.focusWidget(), &list);
        // The rows before it had been marked on the way and are not any more.
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Entry(i).checked, 0) << i;

        DoubleClick(list, 2, 2);
        ASSERT_TRUE(Editing(list));
        QTest::keyClicks(list.InPlaceEditor(), QStringLiteral("BUILD-PC-2"));
        QTest::keyClick(list.InPlaceEditor(), Qt::Key_Return);
        ClickOk(shown);
        EXPECT_FALSE(shown.isVisible());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(Entry(0).checked, 1);
    EXPECT_EQ(Entry(1).checked, 1);
    EXPECT_EQ(Entry(2).checked, 1);
    EXPECT_EQ(Entry(2).alias, QStringLiteral("BUILD-PC-2"));
    EXPECT_EQ(Entry(3).checked, 0);
}

TEST_F(NameTableMultiDialog, OkWithEveryRowUncheckedClosesAndMarksNone)
{
    Entry(0).alias.clear();
    const int result = RunDialog([&](CADDNMTMULDlg& shown) {
        QTest::mouseClick(shown.SelectAllBox(), Qt::LeftButton);
        ClickOk(shown);
        EXPECT_FALSE(shown.isVisible());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(prompt->shown.empty());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Entry(i).checked, 0) << i;
}

// ---------------------------------------------------------------------------------------
// In Chinese

// The texts a user reads on a dialog: caption, labels, buttons, group titles and the
// column titles; the addresses and aliases it shows are left out.
QStringList Texts(QDialog& dialog)
{
    QStringList texts = {dialog.windowTitle()};
    for (QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        if (!button->text().isEmpty())
            texts << button->text();
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>())
        if (!group->title().isEmpty())
            texts << group->title();
    for (CAddNMTListCtrl* list : dialog.findChildren<CAddNMTListCtrl*>())
        for (int column = 0; column < list->columnCount(); ++column)
            texts << list->horizontalHeaderItem(column)->text();
    return texts;
}

// Each dialog as built and as shown, in every state of its notice.
QStringList AllTexts(CLanveyDoc& doc)
{
    QStringList texts;
    for (const bool ipv4 : {false, true}) {
        for (const int present : {0, 1, 2}) {
            CAddToNMTDlg single;
            texts << Texts(single);
            single.m_bIsIpv4 = ipv4;
            single.m_bIpPresent = present == 1;
            single.m_bMacPresent = present == 2;
            RunModal<CAddToNMTDlg>(single, [&](CAddToNMTDlg& shown) { texts << Texts(shown); });
        }
    }
    for (const int present : {0, 1, 2, 3}) {
        CAddNMTIPMACDlg pair;
        texts << Texts(pair);
        pair.m_bIpPresent = present & 1;
        pair.m_bMacPresent = present & 2;
        RunModal<CAddNMTIPMACDlg>(pair, [&](CAddNMTIPMACDlg& shown) { texts << Texts(shown); });
    }
    for (const int kinds : {1, 2, 3}) {
        CADDNMTMULDlg multi(doc, nullptr);
        texts << Texts(multi);
        multi.m_bWithIpv4 = kinds & 1;
        multi.m_bWithMac = kinds & 2;
        RunModal<CADDNMTMULDlg>(multi, [&](CADDNMTMULDlg& shown) { texts << Texts(shown); });
    }
    return texts;
}

TEST(NameTableDialogsLanguage, TheChineseModuleSwitchesEveryText)
{
    CLanveyDoc doc;
    const QStringList english = AllTexts(doc);
    CLanguageModule module;
    ASSERT_EQ(module.Load(QStringLiteral(LANVEY_BINARY_DIR "/"), QStringLiteral("zh_cn"),
                          QString::fromLatin1(kProductVersion)),
              CLanguageModule::Status::Loaded);
    SetLangStringSource(module.Strings());
    const QStringList chinese = AllTexts(doc);
    SetLangStringSource(nullptr);

    ASSERT_EQ(chinese.size(), english.size());
    EXPECT_GT(english.size(), 150);
    for (qsizetype i = 0; i < english.size(); ++i)
        EXPECT_NE(chinese[i], english[i]) << english[i].toStdString();
    EXPECT_TRUE(chinese.contains(QStringLiteral("全选")));
    EXPECT_TRUE(
        chinese.contains(QStringLiteral("IP 地址已存在于名称表中！\nMAC 地址已存在于名称表中！")));
}

} // namespace
