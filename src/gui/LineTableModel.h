#pragma once
// The grid's model: the line table as Qt sees it, one row per record, one column per item.
// The table tells the model about its changes; a batch of changes is one model reset.

#include <QAbstractTableModel>

#include "app/LineTable.h"

namespace tessaly::gui {

class LineTableModel : public QAbstractTableModel, public TLineTableObserver {
    Q_OBJECT
public:
    // Role carrying the value to sort by (numbers as numbers).
    static constexpr int SortRole = Qt::UserRole + 1;
    // Header role carrying the grid column's name ("GridView1Column1").
    static constexpr int ColumnNameRole = Qt::UserRole + 2;

    explicit LineTableModel(TLineTable& table, QObject* parent = nullptr);
    ~LineTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text a cell shows: currency as "0.00", everything else as its text form.
    static QString DisplayText(const TLineValue& value, int item);

signals:
    void bestFitRequested();

private:
    void BeginReset() override;
    void EndReset() override;
    void CaptionsChanged() override;
    void BestFitColumns() override;

    TLineTable& table_;
};

} // namespace tessaly::gui
