#pragma once

// The main window over stand-ins: a probe that never touches the network, a fixed list
// of local adapters, a recorder for opened pages and update checks, and a profile that
// starts empty in every test.

#include "ScanTestUtil.h"
#include "ScriptedPrompt.h"
#include "app/LanveyApp.h"
#include "records/LanveyDoc.h"
#include "ui/frame/CLanveyView.h"
#include "ui/frame/CMainFrame.h"
#include "ui/commands/CommandIds.h"
#include "ui/lists/CScanSession.h"
#include "ui/lists/CScanView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWidgetAction>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

// The ids of a toolbar's buttons in order: 0 for a separator, ID_SCAN_TARGET for the
// target box.
inline std::vector<int> BarIds(QToolBar* bar)
{
    std::vector<int> ids;
    for (QAction* action : bar->actions()) {
        if (action->isSeparator())
            ids.push_back(0);
        else if (qobject_cast<QWidgetAction*>(action))
            ids.push_back(ID_SCAN_TARGET);
        else
            ids.push_back(action->data().toInt());
    }
    return ids;
}

inline QSettings TestProfile()
{
    return QSettings(QString::fromLatin1(kCompanyKey), QString::fromLatin1(kProductKeyName));
}

inline quint32 HostOrderOf(const char* dotted)
{
    return IpToHostOrder(GetIpAddress(QString::fromLatin1(dotted)));
}

inline AdapterAddress Adapter(const char* ip, const char* mask)
{
    return MakeAdapterAddress(QString::fromLatin1(ip), QString::fromLatin1(mask));
}

// Runs `act` on every modal dialog of type T that opens while it lives, once per showing,
// as a user would answer it; `act` ends the showing (a click on a button, Escape).
template <class T> class WhenModal
{
public:
    explicit WhenModal(std::function<void(T&)> act) : m_act(std::move(act))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }

    int shown = 0;

private:
    void Poll()
    {
        if (m_busy)
            return;
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        m_busy = true;
        ++shown;
        m_act(*dialog);
        m_busy = false;
    }

    std::function<void(T&)> m_act;
    QTimer m_timer;
    bool m_busy = false;
};

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestProfile().clear();
        // A paused gate left behind would turn the next start into a resume.
        g_hPauseScanEvent.Set();
        adapters = {{Adapter("192.168.1.37", "255.255.255.0")}};
    }
    void TearDown() override
    {
        gate.Open();
        frame.reset(); // before the document: the scan view waits for its workers
        TestProfile().clear();
    }

    // The probe answers for 192.168.1.0/24 and 10.0.0.0/24 from a rule; `base` and
    // `span` say which addresses it counts.
    void UseProbe(const char* base, size_t span)
    {
        probe = std::make_shared<StandInProbe>(HostOrderOf(base), span);
    }

    void HoldWorkers()
    {
        probe->beforeAnswer = [this](quint32) { gate.Hold(); };
    }

    FrameEnvironment Environment()
    {
        if (!probe)
            UseProbe("192.168.1.0", 256);
        FrameEnvironment env;
        env.probe = probe;
        env.adapters = [this]() -> std::optional<std::vector<AdapterAddress>> {
            ++adapterQueries;
            return adapters;
        };
        env.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return urlOpens;
        };
        env.checkForUpdate = [this](QWidget*, int automatic) { updateChecks.push_back(automatic); };
        env.autoCheckUpdate = autoCheckUpdate;
        env.language = language;
        env.helpFile = helpFile;
        env.analyzer = analyzer;
        return env;
    }

    CMainFrame& Frame()
    {
        if (!frame)
            frame = std::make_unique<CMainFrame>(doc, Environment());
        return *frame;
    }

    // Shows the frame and makes it the active window, as the accelerators need.
    void ShowActive()
    {
        Frame().show();
        QApplication::setActiveWindow(frame.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }

    CScanView& ScanView() { return *Frame().ScanView(); }
    CScanSession& ScanSession() { return Frame().ScanSession(); }
    QComboBox* Combo() { return Frame().TargetCombo(); }
    QString Pane1() { return Frame().StatusPane(1)->text(); }

    QStringList ComboEntries()
    {
        QStringList entries;
        for (int i = 0; i < Combo()->count(); ++i)
            entries << Combo()->itemText(i);
        return entries;
    }

    // Picks entry `index` from the open drop-down list with the keyboard.
    void PickEntry(int index)
    {
        QComboBox* combo = Combo();
        combo->showPopup();
        combo->view()->setCurrentIndex(combo->model()->index(index, 0));
        QTest::keyClick(combo->view(), Qt::Key_Return);
    }

    // Runs the event loop until the scan view has run its completion step.
    bool WaitForScanEnd(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this] { return !ScanSession().Job().IsScanning(); }, timeoutMs);
    }

    ScopedScriptedPrompt prompt;
    CLanveyDoc doc;
    std::shared_ptr<StandInProbe> probe;
    ProbeGate gate;
    std::optional<std::vector<AdapterAddress>> adapters;
    int adapterQueries = 0;
    std::vector<QUrl> opened;
    bool urlOpens = true; // what the stand-in handler answers
    std::vector<int> updateChecks;
    bool autoCheckUpdate = false;
    QString language = QStringLiteral("en_us");
    QString helpFile;
    AnalyzerAccess analyzer; // not installed
    std::unique_ptr<CMainFrame> frame;
};
