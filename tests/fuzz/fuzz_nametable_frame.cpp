// libFuzzer target: a frame as the stand-in analyzer reads it from its socket, where any
// local program may write. What it takes for a record must come out of the encoder
// byte for byte the same, and a name is never longer than the record holds.

#include "nametable/NameTableTransfer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray frame(reinterpret_cast<const char*>(data), qsizetype(size));
    quint64 sender = 0;
    const std::optional<NameTable::Transfer> transfer = NameTable::DecodeFrame(frame, &sender);
    if (!transfer)
        return 0;
    if (transfer->name.size() >= NameTable::kNameUnits)
        std::abort();
    const std::optional<NameTable::Transfer> again =
        NameTable::DecodeFrame(NameTable::EncodeFrame(*transfer, sender));
    if (!again || again->name != transfer->name || again->kind != transfer->kind ||
        again->operation != transfer->operation || again->ip != transfer->ip ||
        again->mac != transfer->mac || again->color != transfer->color)
        std::abort();
    return 0;
}
