#include "records/DatabaseRecord.h"

namespace
{

bool Limit(QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return false;
    // A pair cut in half would leave a lone surrogate, which no encoder writes back.
    const qsizetype keep = text[limit - 1].isHighSurrogate() ? limit - 1 : limit;
    text.truncate(keep);
    text.squeeze();
    return true;
}

} // namespace

bool LimitRecordTexts(DatabaseRecord& record)
{
    bool cut = false;
    for (QString* name : {&record.hostName, &record.workgroup, &record.userName, &record.location})
        cut |= Limit(*name, kMaxRecordNameLength);
    cut |= Limit(record.comment, kMaxRecordCommentLength);
    return cut;
}

QString ColorText(ColorRef color)
{
    static const char kHex[] = "0123456789ABCDEF";
    QString text(7, u'#');
    const quint8 parts[3] = {ColorRefRed(color), ColorRefGreen(color), ColorRefBlue(color)};
    for (int i = 0; i < 3; ++i) {
        text[1 + 2 * i] = QLatin1Char(kHex[parts[i] >> 4]);
        text[2 + 2 * i] = QLatin1Char(kHex[parts[i] & 15]);
    }
    return text;
}
