#pragma once

#include <QString>

// A list the Find dialog can search: the list of the current tab. The list runs the
// search, reports a miss to the user itself and keeps the text of its last search.
class FindTarget
{
public:
    virtual ~FindTarget() = default;

    // Selects and shows the next row with a cell that contains `text`; from row 0, or
    // after the focused row when `continueSearch`. False (after telling the user) on a
    // miss.
    virtual bool FindText(const QString& text, bool matchCase, bool continueSearch) = 0;
    // The text of the last search this list ran, whoever started it.
    virtual QString GetLastFindText() const = 0;
};
