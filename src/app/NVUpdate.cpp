#include "app/NVUpdate.h"

#include "support/NVBase64.h"

#include <QDateTime>
#include <QProcess>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>
#include <mutex>

namespace
{

// The update page, kept encoded with the program's alphabet.
constexpr char kEncodedUpdatePage[] = "Pxb_AxgOTjleoeA6u3ljo3268Nni1Z2DAZFiTeHr8Z2_8NI-";

std::mutex g_openerLock;
CNVUpdate::UrlOpener g_opener;

bool OpenInBrowser(const QString& url)
{
    CNVUpdate::UrlOpener opener;
    {
        std::lock_guard lock(g_openerLock);
        opener = g_opener;
    }
    if (opener)
        return opener(url);
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}

} // namespace

CNVUpdate::CNVUpdate(QString productKey, QString version, QString edition)
    : m_productKey(std::move(productKey)), m_version(std::move(version)),
      m_edition(std::move(edition))
{
}

QString CNVUpdate::UpdatePageUrl(const QString& text) const
{
    const QByteArray page =
        NVBase64_Decode(kEncodedUpdatePage, kLanveyBase64Table).value_or(QByteArray());
    QUrl url(QString::fromUtf8(page));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("product"), m_productKey);
    query.addQueryItem(QStringLiteral("version"), m_version);
    query.addQueryItem(QStringLiteral("edition"), m_edition);
    if (!text.isEmpty())
        query.addQueryItem(QStringLiteral("note"), text);
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

bool CNVUpdate::DoUpdate(QObject* /*parent*/, int automatic, const QString& text)
{
    NoteCheck();
    if (automatic)
        return true;
    return OpenInBrowser(UpdatePageUrl(text));
}

void CNVUpdate::SetUrlOpener(UrlOpener opener)
{
    std::lock_guard lock(g_openerLock);
    g_opener = std::move(opener);
}

void CNVUpdate::NoteCheck() const
{
    QSettings registration(QSettings::UserScope, QStringLiteral("Norvane"),
                           QStringLiteral("NVUPDATE"));
    registration.setFallbacksEnabled(false);
    registration.beginGroup(m_productKey);
    registration.setValue(QStringLiteral("Version"), m_version);
    registration.setValue(QStringLiteral("LastCheck"),
                          QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
}
