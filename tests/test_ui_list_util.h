#pragma once

// The two lists inside the main window, over records the tests put into the document.

#include "TestPrinters.h"
#include "test_ui_util.h"
#include "ui/lists/CDBView.h"
#include "ui/lists/CListItemDelegate.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>

inline quint64 Mac(const char* text)
{
    return GetMacAddress(QString::fromLatin1(text), QLatin1Char(':'));
}

inline quint32 Ip(const char* dotted)
{
    return GetIpAddress(QString::fromLatin1(dotted));
}

class ListTest : public FrameTest
{
protected:
    CDBView& DbView() { return *Frame().TabView()->DatabaseView(); }

    void AddScanHost(const char* ip, const char* mac, const QString& name = QString(),
                     const QString& workgroup = QString())
    {
        AddScanHost(ip, Mac(mac), name, workgroup);
    }
    void AddScanHost(const char* ip, quint64 mac, const QString& name = QString(),
                     const QString& workgroup = QString())
    {
        auto record = std::make_unique<HostRecord>();
        record->ip = Ip(ip);
        record->mac = mac;
        record->hostName = name;
        record->workgroup = workgroup;
        record->resolved = 1;
        doc.AppendScanRecord(std::move(record));
    }

    void AddKnownHost(const char* ip, const char* mac, ColorRef color = 0,
                      const QString& name = QString())
    {
        AddKnownHost(ip, Mac(mac), color, name);
    }
    void AddKnownHost(const char* ip, quint64 mac, ColorRef color = 0,
                      const QString& name = QString())
    {
        auto record = std::make_unique<DatabaseRecord>();
        record->ip = Ip(ip);
        record->mac = mac;
        record->hostName = name;
        record->color = color;
        doc.AppendDatabaseRecord(std::move(record));
    }

    // The scan list shows what the document holds, as after a host-added notification.
    void ShowScanRecords() { ScanSession().SetRowCount(doc.GetScanRecordCount()); }

    static QString Cell(const CCommonListView& list, int row, int column)
    {
        return list.model()->index(row, column).data(Qt::DisplayRole).toString();
    }
    static QColor CellColor(const CCommonListView& list, int row, int column)
    {
        return list.model()->index(row, column).data(Qt::ForegroundRole).value<QColor>();
    }
    static bool HasIcon(const CCommonListView& list, int row, int column)
    {
        return !list.model()->index(row, column).data(Qt::DecorationRole).value<QIcon>().isNull();
    }
    static QStringList Column(const CCommonListView& list, int column)
    {
        QStringList texts;
        for (int row = 0; row < list.model()->rowCount(); ++row)
            texts << Cell(list, row, column);
        return texts;
    }

    // Selects exactly `rows`, the last one with the focus, as ctrl-clicks would.
    static void SelectRows(CCommonListView& list, std::initializer_list<int> rows)
    {
        list.clearSelection();
        for (int row : rows)
            list.selectionModel()->setCurrentIndex(list.model()->index(row, 0),
                                                   QItemSelectionModel::Select |
                                                       QItemSelectionModel::Rows);
    }
    static void FocusRow(CCommonListView& list, int row)
    {
        list.selectionModel()->setCurrentIndex(list.model()->index(row, 0),
                                               QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
    }

    // Clicks a column title as the user does, in the shown window.
    void ClickHeader(CCommonListView& list, int column)
    {
        if (!Frame().isVisible())
            ShowActive();
        QHeaderView* header = list.horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    bool Enabled(int id) { return Frame().Action(id)->isEnabled(); }
};

inline const QColor kBlack(0, 0, 0);
inline const QColor kRed(255, 0, 0);
inline const QColor kBlue(0, 0, 255);
