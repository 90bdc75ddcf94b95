#pragma once

#include <QString>
#include <functional>

class QObject;

// The update check. A manual check opens the product's update page in the desktop's
// browser, which tells the user whether a newer version exists; the automatic check at
// start-up shows nothing and contacts nobody, it only notes in the per-user update
// registration ("NVUPDATE", one group per product) which version last checked and when.
class CNVUpdate
{
public:
    // Opens a web address; true when the browser could be started.
    using UrlOpener = std::function<bool(const QString& url)>;

    CNVUpdate(QString productKey, QString version, QString edition);

    // `automatic` is non-zero for the check at start-up. `text` is passed on to the
    // page when not empty. `parent` is the window the check was asked from (unused: the
    // page opens in the browser). Returns false when a manual check could not open the
    // page.
    bool DoUpdate(QObject* parent, int automatic, const QString& text);

    // The address a manual check opens.
    QString UpdatePageUrl(const QString& text = {}) const;

    // Replaces the browser start (xdg-open) for every update component, e.g. in tests;
    // null restores it.
    static void SetUrlOpener(UrlOpener opener);

private:
    void NoteCheck() const;

    QString m_productKey;
    QString m_version;
    QString m_edition;
};
