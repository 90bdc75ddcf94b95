#include "ui/frame/WindowPlacement.h"

#include <QWidget>

namespace
{

constexpr char kMagic[4] = {'L', 'V', 'W', 'P'};
constexpr qsizetype kHeaderSize = sizeof(kMagic) + 1;
// The placement record this replaces was 44 bytes; anything shorter cannot hold a
// geometry and counts as absent.
constexpr qsizetype kMinimumSize = 44;

} // namespace

QByteArray EncodeWindowPlacement(PlacementShowState state, const QByteArray& geometry)
{
    QByteArray value(kMagic, sizeof(kMagic));
    value.append(static_cast<char>(state));
    value.append(geometry);
    return value;
}

QByteArray EncodeWindowPlacement(const QWidget& window)
{
    PlacementShowState state = PlacementShowState::Normal;
    if (window.isMinimized())
        state = PlacementShowState::Minimized;
    else if (window.isMaximized())
        state = PlacementShowState::Maximized;
    return EncodeWindowPlacement(state, window.saveGeometry());
}

std::optional<WindowPlacement> DecodeWindowPlacement(const QByteArray& value)
{
    if (value.size() < kMinimumSize || !value.startsWith(QByteArray(kMagic, sizeof(kMagic))))
        return std::nullopt;
    const auto state = static_cast<PlacementShowState>(static_cast<quint8>(value[4]));
    if (state != PlacementShowState::Normal && state != PlacementShowState::Minimized &&
        state != PlacementShowState::Maximized)
        return std::nullopt;
    return WindowPlacement{state, value.mid(kHeaderSize)};
}
