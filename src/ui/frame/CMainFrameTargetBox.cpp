// The main frame's scan-target box: its entries (the local subnets, Refresh) and how a
// pick or Enter in it starts a scan.

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/RecordLock.h"
#include "support/AddressText.h"
#include "ui/frame/CMainFrame.h"
#include "ui/lists/CScanSession.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QToolBar>
#include <mutex>

namespace
{

// Item data of the "Refresh" entry; every other entry has 0.
constexpr int kRefreshItemData = 1;

QString RefreshText()
{
    return FormatLangString(139, QStringLiteral("Refresh"));
}

// The scan-target box. QComboBox reports an entry as activated also when the wheel or
// the arrow keys move the selection of the closed box; only an entry picked from the
// opened list may start a scan. The popup's flag is cleared a turn of the event loop
// after it closes, since the box reports the pick after it has hidden the list.
class CTargetComboBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;

    bool PickedFromList() const { return m_bListOpen; }

    void showPopup() override
    {
        m_bListOpen = true;
        QComboBox::showPopup();
    }
    void hidePopup() override
    {
        QComboBox::hidePopup();
        QTimer::singleShot(0, this, [this] { m_bListOpen = view()->isVisible(); });
    }

private:
    bool m_bListOpen = false;
};

} // namespace

void CMainFrame::CreateTargetBox(QToolBar* bar)
{
    m_pTargetBox = new QWidget;
    m_pTargetBox->setObjectName(QStringLiteral("TargetBox"));
    auto* label = new QLabel(FormatLangString(136, QStringLiteral("Local Subnet")), m_pTargetBox);
    auto* combo = new CTargetComboBox(m_pTargetBox);
    m_pComboTarget = combo;
    m_pComboTarget->setObjectName(QStringLiteral("ComboTarget"));
    m_pComboTarget->setEditable(true);
    m_pComboTarget->setInsertPolicy(QComboBox::NoInsert);
    m_pComboTarget->setCompleter(nullptr);
    m_pComboTarget->setFixedWidth(kTargetBoxWidth);
    m_pComboTarget->view()->setMinimumWidth(kTargetBoxWidth);
    label->setBuddy(m_pComboTarget);
    UpdateResolutionTip();

    auto* layout = new QHBoxLayout(m_pTargetBox);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(label);
    layout->addWidget(m_pComboTarget);

    // An entry picked from the opened list executes; Enter executes the edit text. Enter is
    // taken before the edit field sees it: the field would pass it on to the box, which
    // hands it back to the field, and the box's own matching of a typed text against
    // the entries would report it as picked, so it would execute more than once.
    disconnect(m_pComboTarget->lineEdit(), SIGNAL(editingFinished()), m_pComboTarget, nullptr);
    m_pComboTarget->lineEdit()->installEventFilter(this);
    connect(combo, &QComboBox::activated, this, [this, combo](int index) {
        if (combo->PickedFromList())
            OnTargetExecute(combo->itemText(index));
    });

    m_pTargetAction = bar->addWidget(m_pTargetBox);
}

void CMainFrame::UpdateResolutionTip()
{
    if (m_pComboTarget)
        m_pComboTarget->setToolTip(m_env.probe->ResolutionNotice());
}

void CMainFrame::DestroyTargetBox()
{
    if (!m_pComboTarget)
        return;
    m_pComboTarget = nullptr;
    m_pTargetBox = nullptr;
    // The action owns the box.
    delete m_pTargetAction;
    m_pTargetAction = nullptr;
}

void CMainFrame::FillTargetList(const QString& text, bool keep)
{
    if (!m_pComboTarget)
        return;
    const std::optional<std::vector<AdapterAddress>> adapters =
        m_env.adapters ? m_env.adapters() : std::nullopt;
    if (!adapters) {
        ShowErrorMessage(FormatLangString(
            133, QStringLiteral("Trying to query local IP, but an error is found!")));
        return;
    }
    {
        // Not in the middle of a locked scan step.
        std::lock_guard guard(g_recordLock);
        m_pComboTarget->clear();
    }
    const quint32 loopback = IpFromHostOrder(0x7F000001u);
    for (const AdapterAddress& address : *adapters) {
        if (address.ip == 0 || address.ip == loopback)
            continue;
        const QString entry = SubnetEntryText(address);
        if (m_pComboTarget->findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            continue;
        m_pComboTarget->addItem(entry, 0);
    }
    if (m_pComboTarget->count() == 0) {
        ShowErrorMessage(FormatLangString(
            137, QStringLiteral("Can't find any valid IP address, ensure you have install "
                                "TCP/IP protocol and setup a IP for network adapter.\r\n")));
        m_pComboTarget->addItem(FormatLangStringA(138, "No Valid Adapter"), 0);
    }
    int selected = 0;
    if (keep && !text.isEmpty()) {
        selected = m_pComboTarget->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (selected < 0) {
            m_pComboTarget->addItem(text, 0);
            selected = m_pComboTarget->count() - 1;
        }
    }
    m_pComboTarget->setCurrentIndex(selected);
    m_pComboTarget->addItem(RefreshText(), kRefreshItemData);
}

bool CMainFrame::OnTargetExecute(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (text == RefreshText()) {
        FillTargetList(QString(), false);
        return true;
    }
    m_pScanSession->Start(ScanTargetText());
    return true;
}

std::optional<QString> CMainFrame::ScanTargetText() const
{
    // Without a box, or with no entries in it, a start has nothing to go on. Any text
    // otherwise, an empty one too, is the parser's to judge.
    if (!m_pComboTarget || m_pComboTarget->count() == 0)
        return std::nullopt;
    return m_pComboTarget->currentText();
}

void CMainFrame::EnableScanTargetBox(bool enable)
{
    if (m_pTargetBox)
        m_pTargetBox->setEnabled(enable);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (m_pComboTarget && watched == m_pComboTarget->lineEdit() &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnTargetExecute(m_pComboTarget->currentText());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
