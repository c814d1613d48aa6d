#include "app/LineTable.h"

#include <cmath>

#include "app/NumberTexts.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/NumberText.h"

namespace tessaly {

namespace {

constexpr TAlignment L = TAlignment::Left;
constexpr TAlignment C = TAlignment::Center;
constexpr TAlignment R = TAlignment::Right;
constexpr TLineValueKind kText = TLineValueKind::Text;

const char* KindName(TLineValueKind kind) {
    switch (kind) {
        case TLineValueKind::Empty: return "Empty";
        case TLineValueKind::Integer: return "Int64";
        case TLineValueKind::Text: return "String";
        case TLineValueKind::Currency: return "Currency";
        case TLineValueKind::Float: return "Double";
    }
    return "Unknown";
}

[[noreturn]] void Overflow(TLineValueKind from, TLineValueKind to) {
    throw Exception(Format("Overflow while converting variant of type (%s) into type (%s)",
                           KindName(from), KindName(to)));
}

// A number of any kind as an extended value (text is read as a number).
long double NumberOf(const TLineValue& value) {
    switch (value.Kind()) {
        case TLineValueKind::Integer: return static_cast<long double>(value.AsInteger());
        case TLineValueKind::Currency: return static_cast<long double>(value.AsCurrency().Scaled) / 10000;
        case TLineValueKind::Float: return value.AsFloat();
        case TLineValueKind::Text: return StrToFloat(value.AsTextValue());
        case TLineValueKind::Empty: break;
    }
    return 0;
}

// Rounds to an integer, halves to even (the processor's rounding), within the 64-bit range.
bool RoundToInt64(long double value, int64_t& result) {
    if (!std::isfinite(value)) return false;
    const long double rounded = std::nearbyint(value);
    if (rounded < -9223372036854775808.0L || rounded >= 9223372036854775808.0L) return false;
    result = static_cast<int64_t>(rounded);
    return true;
}

} // namespace

const std::array<TLineColumn, kLineColumnCount> kLineColumns = {{
    {"GridView1Column1", "序号", TLineValueKind::Integer, R, L, 52, false},
    {"GridView1Column2", "商品名称", kText, L, C, 0, false},
    {"GridView1Column3", "规格型号", kText, L, L, 78, false},
    {"GridView1Column4", "计量单位", kText, C, C, 61, false},
    {"GridView1Column11", "数量", kText, R, C, 0, false},
    {"GridView1Column10", "单价(含税)", kText, R, C, 73, false},
    {"GridView1Column12", "金额(含税)", TLineValueKind::Currency, R, C, 69, true},
    {"GridView1Column13", "税率", kText, C, C, 0, false},
    {"GridView1Column5", "税收分类编码", kText, C, C, 85, false},
    {"GridView1Column6", "企业自编码", kText, C, C, 80, false},
    {"GridView1Column7", "是否使用优惠政策", kText, L, C, 106, false},
    {"GridView1Column8", "零税率标识", kText, L, C, 0, false},
    {"GridView1Column9", "优惠政策说明", kText, L, L, 0, false},
    {"GridView1Column14", "差额税计算扣除额", TLineValueKind::Float, L, L, 0, false},
}};

std::string CurrencyToText(TCurrency value) {
    const bool negative = value.Scaled < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value.Scaled) : static_cast<uint64_t>(value.Scaled);
    std::string text;
    if (negative) text.push_back('-');
    text += std::to_string(magnitude / 10000);
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction != 0) {
        std::string decimals = Format("%04u", fraction);
        while (decimals.back() == '0') decimals.pop_back();
        text += "." + decimals;
    }
    return text;
}

std::string TLineValue::ToText() const {
    switch (Kind()) {
        case TLineValueKind::Empty: return {};
        case TLineValueKind::Integer: return std::to_string(AsInteger());
        case TLineValueKind::Text: return AsTextValue();
        case TLineValueKind::Currency: return CurrencyToText(AsCurrency());
        case TLineValueKind::Float: return FormatGeneral(AsFloat(), 15);
    }
    return {};
}

TLineValue ConvertLineValue(const TLineValue& value, TLineValueKind kind) {
    const TLineValueKind from = value.Kind();
    if (from == kind || from == TLineValueKind::Empty) return value;
    switch (kind) {
        case TLineValueKind::Text:
            return TLineValue::Text(value.ToText());
        case TLineValueKind::Integer: {
            int64_t result = 0;
            if (!RoundToInt64(NumberOf(value), result)) Overflow(from, kind);
            return TLineValue::Integer(result);
        }
        case TLineValueKind::Currency: {
            int64_t scaled = 0;
            if (!RoundToInt64(NumberOf(value) * 10000, scaled)) Overflow(from, kind);
            return TLineValue::Currency(TCurrency{scaled});
        }
        case TLineValueKind::Float: {
            const long double number = NumberOf(value);
            const double result = static_cast<double>(number);
            if (std::isinf(result) && !std::isinf(number)) Overflow(from, kind);
            return TLineValue::Float(result);
        }
        case TLineValueKind::Empty:
            break;
    }
    return TLineValue();
}

// One reset of the view around a change, unless a batch is running.
class TLineTable::Change {
public:
    explicit Change(TLineTable& table) : table_(table) {
        if (!table_.Updating() && table_.observer_) table_.observer_->BeginReset();
    }
    ~Change() {
        if (!table_.Updating() && table_.observer_) table_.observer_->EndReset();
    }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

private:
    TLineTable& table_;
};

TLineTable::TLineTable() {
    for (int i = 0; i < kLineColumnCount; ++i) captions_[static_cast<size_t>(i)] = kLineColumns[static_cast<size_t>(i)].Caption;
}

void TLineTable::SetRecordCount(int count) {
    if (count < 0) count = 0;
    if (count == RecordCount()) return;
    Change change(*this);
    records_.resize(static_cast<size_t>(count));
}

const TLineValue& TLineTable::Value(int record, int item) const {
    if (record < 0 || record >= RecordCount()) throw EListError(record);
    if (item < 0 || item >= kLineColumnCount) throw EListError(item);
    return records_[static_cast<size_t>(record)][static_cast<size_t>(item)];
}

void TLineTable::SetValue(int record, int item, const TLineValue& value) {
    if (record < 0 || record >= RecordCount()) throw EListError(record);
    if (item < 0 || item >= kLineColumnCount) throw EListError(item);
    TLineValue converted = ConvertLineValue(value, kLineColumns[static_cast<size_t>(item)].Kind);
    Change change(*this);
    records_[static_cast<size_t>(record)][static_cast<size_t>(item)] = std::move(converted);
}

const std::string& TLineTable::Caption(int item) const {
    if (item < 0 || item >= kLineColumnCount) throw EListError(item);
    return captions_[static_cast<size_t>(item)];
}

void TLineTable::SetCaption(int item, std::string caption) {
    if (item < 0 || item >= kLineColumnCount) throw EListError(item);
    captions_[static_cast<size_t>(item)] = std::move(caption);
    if (observer_) observer_->CaptionsChanged();
}

void TLineTable::BeginUpdate() {
    if (updateDepth_++ == 0 && observer_) observer_->BeginReset();
}

void TLineTable::EndUpdate() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0 && observer_) observer_->EndReset();
}

void TLineTable::ApplyBestFit() {
    if (observer_) observer_->BestFitColumns();
}

} // namespace tessaly
