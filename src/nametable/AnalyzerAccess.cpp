#include "nametable/AnalyzerAccess.h"

#include "support/NVBase64.h"

#include <QProcess>
#include <limits>

namespace
{

// The product pages, kept encoded with the program's alphabet like every address the
// program opens.
constexpr const char* kAnalyzerPage = "Pxb_AxgOTjleoeA6u3ljo3268Nn5uS_QoZHCASHjdNI-";
constexpr const char* kAnalyzerPageZh = "Pxb_AxgOTjleoeA6u3ljo3268Nn5uS_6dSUQAYHBuZFQuzI-";

bool ChineseInterface(const QString& language)
{
    return language == QLatin1String("zh_cn") || language == QLatin1String("zh_tw");
}

} // namespace

int AnalyzerBuildNumber(const QString& version)
{
    const QString build = version.mid(version.lastIndexOf(u'.') + 1);
    qsizetype i = 0;
    while (i < build.size() && (build[i] == u' ' || (build[i] >= u'\t' && build[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < build.size() && (build[i] == u'+' || build[i] == u'-'))
        negative = build[i++] == u'-';
    // Too many digits stop at the largest value rather than wrap round to an old build.
    long long value = 0;
    for (; i < build.size() && build[i] >= u'0' && build[i] <= u'9'; ++i)
        value = std::min<long long>(value * 10 + (build[i].unicode() - u'0'),
                                    std::numeric_limits<int>::max());
    return int(negative ? -value : value);
}

QString AnalyzerProgramFile(const QString& language)
{
    QString file =
        ChineseInterface(language) ? QStringLiteral("quillon") : QStringLiteral("Tessera");
#ifdef Q_OS_WIN
    file += QLatin1String(".exe");
#endif
    return file;
}

QUrl AnalyzerWebPage(const QString& language)
{
    const char* encoded = ChineseInterface(language) ? kAnalyzerPageZh : kAnalyzerPage;
    return QUrl(QString::fromLatin1(
        NVBase64_Decode(QByteArray(encoded), kLanveyBase64Table).value_or(QByteArray())));
}

void StartAnalyzer(const AnalyzerAccess& access)
{
    const QString program = access.installPath + AnalyzerProgramFile(access.language);
    if (access.start)
        access.start(program);
    else
        QProcess::startDetached(program, {});
}
