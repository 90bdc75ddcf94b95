// libFuzzer target: the import of any file a user may pick, in every format it could be
// taken for. Whatever is read must survive the program's own export: written as CSV and
// as JSON and read again, it gives the same records.

#include "FuzzCheck.h"
#include "records/RecordExchange.h"
#include "support/AddressText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const DatabaseRecord known = [] {
        DatabaseRecord r;
        r.ip = GetIpAddress(QStringLiteral("198.18.0.9"));
        r.mac = GetMacAddress(QStringLiteral("02:00:00:00:00:09"), QLatin1Char(':')) | kMacTopBits;
        return r;
    }();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const ImportReadResult read = ReadRecords(bytes, {&known});
    Check(read.format != ExchangeFormat::Unknown || read.records.empty());
    Check(read.errors.size() <= 1001);
    const qsizetype lines = bytes.count('\n') + bytes.count('\r') + 1;
    std::vector<const DatabaseRecord*> records;
    for (const ImportedRecord& imported : read.records) {
        Check((imported.record.mac & kMacTopBits) == kMacTopBits);
        Check(imported.line >= 1 && imported.line <= lines);
        records.push_back(&imported.record);
    }
    for (const ImportError& error : read.errors)
        Check(error.line >= 0 && error.line <= lines);

    for (const ExchangeFormat format : {ExchangeFormat::Csv, ExchangeFormat::Json}) {
        const ImportReadResult again = ReadRecords(WriteDatabaseRecords(format, records, nullptr));
        Check(again.format == format && again.errors.empty());
        Check(again.records.size() == records.size());
        for (size_t i = 0; i < records.size(); ++i)
            Check(again.records[i].record == *records[i]);
    }
    return 0;
}
