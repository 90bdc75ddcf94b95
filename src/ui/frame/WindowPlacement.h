#pragma once

#include <QByteArray>
#include <optional>

class QWidget;

// The stored window placement ("WindowsPos"): the show state, which QWidget::saveGeometry
// does not record for a minimised window, followed by the saveGeometry bytes.
enum class PlacementShowState : quint8 { Normal = 1, Minimized = 2, Maximized = 3 };

QByteArray EncodeWindowPlacement(PlacementShowState state, const QByteArray& geometry);
QByteArray EncodeWindowPlacement(const QWidget& window);

struct WindowPlacement {
    PlacementShowState state = PlacementShowState::Normal;
    QByteArray geometry;
};
// nullopt for a value that is missing, too short or not ours.
std::optional<WindowPlacement> DecodeWindowPlacement(const QByteArray& value);
