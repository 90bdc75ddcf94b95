#pragma once

#include "records/ColorRef.h"

#include <QString>

class CColorPicker;
class QDialog;
class QHBoxLayout;
class QLineEdit;
class QWidget;

// What the name-table dialogs share.

// OK (the default button) and Cancel at the right of a row; `leading` (may be null)
// stands at its left.
QHBoxLayout* MakeNameTableButtons(QDialog* dialog, QWidget* leading = nullptr);

// The alias shown is the proposal without its control characters; the proposal stays
// as it came unless the user changed the text.
void ShowAlias(QLineEdit* edit, const QString& proposed);
// At OK: takes the edited alias into `alias`. An empty one is refused with message 157
// and the focus goes back to the edit; false then.
bool TakeAlias(QLineEdit* edit, QString& alias);

// The colour button at open: `color`, with the window-text colour as its default.
void LoadColorPicker(CColorPicker* picker, ColorRef color);
