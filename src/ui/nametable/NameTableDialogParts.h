#pragma once

#include "records/ColorRef.h"

#include <QString>
#include <initializer_list>
#include <utility>

class CColorPicker;
class QDialog;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QWidget;

// What the name-table dialogs share.

// OK (the default button) and Cancel at the right of a row; `leading` (may be null)
// stands at its left.
QHBoxLayout* MakeNameTableButtons(QDialog* dialog, QWidget* leading = nullptr);

// The "Notice" group with `lines` one under the other.
QGroupBox* MakeNoticeBox(QDialog* dialog, std::initializer_list<QWidget*> lines);

// A group of labelled fields, a row each: the label on the left, its field (the label's
// buddy) on the right, the text fields at least 200 pixels wide, a colour button at its
// own size.
QGroupBox* MakeFieldsBox(QDialog* dialog, std::initializer_list<std::pair<QLabel*, QWidget*>> rows);

// The dialog, top to bottom: the notice, `middle`, the buttons; as large as they need.
void LayOutNameTableDialog(QDialog* dialog, QWidget* notice, QWidget* middle, QHBoxLayout* buttons);

// The alias shown is the proposal without its control characters; the proposal stays
// as it came unless the user changed the text.
void ShowAlias(QLineEdit* edit, const QString& proposed);
// At OK: takes the edited alias into `alias`. An empty one is refused with message 157
// and the focus goes back to the edit; false then.
bool TakeAlias(QLineEdit* edit, QString& alias);

// The colour button at open: `color`, with the window-text colour as its default.
void LoadColorPicker(CColorPicker* picker, ColorRef color);

// At OK: TakeAlias, and the colour once the alias is taken; false when it was refused.
bool TakeAliasAndColor(QLineEdit* edit, QString& alias, const CColorPicker* picker,
                       ColorRef& color);
