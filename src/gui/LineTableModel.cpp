#include "gui/LineTableModel.h"

#include "app/NumberTexts.h"

namespace tessaly::gui {

namespace {

Qt::Alignment ToQt(TAlignment alignment) {
    switch (alignment) {
        case TAlignment::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
        case TAlignment::Right: return Qt::AlignRight | Qt::AlignVCenter;
        case TAlignment::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

} // namespace

LineTableModel::LineTableModel(TLineTable& table, QObject* parent) : QAbstractTableModel(parent), table_(table) {
    table_.SetObserver(this);
}

LineTableModel::~LineTableModel() { table_.SetObserver(nullptr); }

int LineTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : table_.RecordCount();
}

int LineTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kLineColumnCount;
}

QString LineTableModel::DisplayText(const TLineValue& value, int item) {
    if (kLineColumns[static_cast<size_t>(item)].TwoDecimals && value.Kind() == TLineValueKind::Currency)
        return QString::fromStdString(FormatTwoDecimals(static_cast<long double>(value.AsCurrency().Scaled) / 10000));
    return QString::fromStdString(value.ToText());
}

QVariant LineTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= table_.RecordCount() || index.column() >= kLineColumnCount) return {};
    const TLineValue& value = table_.Value(index.row(), index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:   // the full text of a cell that does not fit
            return value.IsEmpty() ? QVariant() : QVariant(DisplayText(value, index.column()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(ToQt(kLineColumns[static_cast<size_t>(index.column())].Alignment));
        case SortRole:
            switch (value.Kind()) {
                case TLineValueKind::Empty:   // sorts first, compared as its column's kind
                    if (kLineColumns[static_cast<size_t>(index.column())].Kind == TLineValueKind::Text) return QString();
                    return QVariant::fromValue<qlonglong>(-1);
                case TLineValueKind::Integer: return QVariant::fromValue<qlonglong>(value.AsInteger());
                case TLineValueKind::Currency: return QVariant::fromValue<qlonglong>(value.AsCurrency().Scaled);
                case TLineValueKind::Float: return value.AsFloat();
                case TLineValueKind::Text: return QString::fromStdString(value.AsTextValue());
            }
            return {};
        default:
            return {};
    }
}

QVariant LineTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kLineColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(table_.Caption(section));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(ToQt(kLineColumns[static_cast<size_t>(section)].HeaderAlignment));
        case ColumnNameRole: return QString::fromLatin1(kLineColumns[static_cast<size_t>(section)].Name);
        default: return {};
    }
}

Qt::ItemFlags LineTableModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void LineTableModel::BeginReset() { beginResetModel(); }
void LineTableModel::EndReset() { endResetModel(); }
void LineTableModel::CaptionsChanged() { emit headerDataChanged(Qt::Horizontal, 0, kLineColumnCount - 1); }
void LineTableModel::BestFitColumns() { emit bestFitRequested(); }

} // namespace tessaly::gui
