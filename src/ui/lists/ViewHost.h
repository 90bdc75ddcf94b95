#pragma once

#include <QString>
#include <optional>

// What the list views need of the main frame: the status pane, the scan-target box and
// a fresh round of command enabling after they changed something it depends on.
class ViewHost
{
public:
    virtual ~ViewHost() = default;
    virtual void SetStatusPane1(const QString& text) = 0;
    // The target box's text: the selected entry, or what was typed. nullopt when the box
    // does not exist (database tab) or holds no text.
    virtual std::optional<QString> ScanTargetText() const = 0;
    virtual bool HasScanTargetBox() const = 0;
    virtual void EnableScanTargetBox(bool enable) = 0;
    virtual void UpdateCommandUI() = 0;
};
