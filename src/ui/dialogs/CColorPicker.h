#pragma once

#include "records/ColorRef.h"

#include <QToolButton>

class QColorDialog;

// The record colour button: it shows the current colour and opens the colour dialog; its
// menu also offers the default colour ("Automatic").
class CColorPicker final : public QToolButton
{
    Q_OBJECT

public:
    explicit CColorPicker(QWidget* parent = nullptr);

    void SetColor(ColorRef color);
    ColorRef GetColor() const { return m_color; }
    void SetDefaultColor(ColorRef color);
    ColorRef GetDefaultColor() const { return m_defaultColor; }

    // The colour dialog while it is open (null otherwise).
    QColorDialog* ColorDialog() const { return m_pDialog; }

    static QColor ToQColor(ColorRef color);
    static ColorRef FromQColor(const QColor& color);

signals:
    void colorChanged(ColorRef color);

private:
    void ChooseColor();
    void UpdateSwatch();

    ColorRef m_color = 0;
    ColorRef m_defaultColor = 0;
    QColorDialog* m_pDialog = nullptr;
};
