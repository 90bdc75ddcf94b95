#include "scan/ScanProgress.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

ScanRange ReadScanRange()
{
    std::lock_guard guard(g_scanRangeMutex);
    return g_scanRange;
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    qint64 number = a;
    qint64 divisor = c;
    if (divisor < 0) {
        number = -number;
        divisor = -divisor;
    }
    const qint64 product = number * b;
    const qint64 half = divisor / 2;
    const qint64 result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    if (result > 2147483647 || result < -2147483647)
        return -1;
    return int(result);
}

namespace
{

quint32 DoneCount(const ScanRange& range)
{
    return range.next - range.first - 1;
}

quint32 TotalCount(const ScanRange& range)
{
    return range.last - range.first;
}

} // namespace

QString ScanProgressText(const ScanRange& range)
{
    const quint32 done = DoneCount(range);
    const quint32 total = TotalCount(range);
    const int percent = MulDiv(int(done), 100, int(total));
    return QStringLiteral("%1% (%2/%3) - %4")
        .arg(percent)
        .arg(FormatNumber(done), FormatNumber(total), FormatIpAddress(IpFromHostOrder(range.next)));
}

QString ScanTimerText(const ScanRange& range)
{
    if (DoneCount(range) == TotalCount(range))
        return FormatLangString(191, QStringLiteral("Resolving Host Name..."));
    return FormatLangString(145, QStringLiteral("Scanning %s_IP% ..."), {ScanProgressText(range)});
}

QString ScanPausedText(const ScanRange& range)
{
    return FormatLangString(146, QStringLiteral("Scanning is paused.")) + ScanProgressText(range);
}

QString ScanStoppingText()
{
    return FormatLangString(148, QStringLiteral("Scanning is stopping, please wait..."));
}

QString ScanFoundText(int rows)
{
    return FormatLangString(144, QStringLiteral("Found %d_HOSTS% hosts."), {rows});
}
