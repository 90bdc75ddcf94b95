#include "standin/StandInWindow.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "standin/StandInAnalyzer.h"

#include <QColor>
#include <QHeaderView>
#include <QJsonObject>

CStandInWindow::CStandInWindow(CStandInAnalyzer& analyzer, QWidget* parent)
    : QTableWidget(0, 4, parent), m_analyzer(analyzer)
{
    setWindowTitle(FormatLangStringA(0xF2C1, "Name Table (stand-in analyzer)"));
    setHorizontalHeaderLabels(
        {FormatLangStringA(0xF2C2, "Kind"), FormatLangStringA(0xF2C3, "Address"),
         FormatLangStringA(175, "Alias"), FormatLangStringA(0xF2C4, "Color")});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    resize(560, 320);
    connect(&m_analyzer, &CStandInAnalyzer::tableChanged, this, &CStandInWindow::Reload);
    Reload();
}

void CStandInWindow::Reload()
{
    const QJsonArray table = CStandInAnalyzer::ReadTable(m_analyzer.TableFile());
    setRowCount(int(table.size()));
    for (int row = 0; row < int(table.size()); ++row) {
        const QJsonObject entry = table.at(row).toObject();
        const QString color = entry.value(QStringLiteral("color")).toString();
        const QString cells[] = {entry.value(QStringLiteral("kind")).toString(),
                                 entry.value(QStringLiteral("address")).toString(),
                                 entry.value(QStringLiteral("alias")).toString(), color};
        for (int column = 0; column < 4; ++column) {
            // What arrived over the socket is shown without its control characters.
            auto* item = new QTableWidgetItem(ReplaceControlChars(cells[column]));
            if (column == 3 && QColor::isValidColorName(color))
                item->setData(Qt::DecorationRole, QColor::fromString(color));
            setItem(row, column, item);
        }
    }
    resizeColumnsToContents();
}
