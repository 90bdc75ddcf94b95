#pragma once

#include <QString>

class QIcon;
class QPainter;
class QPrinter;
class QRect;
class QTableView;

// How a list was laid out over pages.
struct ListPrintPlan {
    int rowsPerPage = 0;
    int pageCount = 0;
};

// Prints every row of `view` as a table over as many pages as it takes: each page
// carries the list's title and the application title at its top, the column titles,
// then its rows with their icons and text colours, and the page number at its foot.
// Columns follow the header's order and widths, narrowed to the page when the list is
// wider. False when the printer could not be opened.
bool PrintListView(QPrinter& printer, const QTableView& view, const QString& title,
                   const QString& appTitle, ListPrintPlan* plan = nullptr);

// Turns the page to landscape when the list's columns are wider than a portrait page,
// and back to portrait when they fit one, so that a wide list is not drawn tiny.
void FitPageOrientation(QPrinter& printer, const QTableView& view);

// Draws `icon` filling `target`, from the icon's largest image, so that it keeps its size
// on a device of many dots per pixel (a printer, a print preview).
void PaintCellIcon(QPainter& painter, const QIcon& icon, const QRect& target);
