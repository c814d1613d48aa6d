#pragma once
// The line table: one record per goods line of the sales list, fourteen columns, behind the grid
// of the main window. Each cell holds one value or nothing; a value is converted to its column's
// kind when stored, and a value that cannot be converted is refused (the cell keeps what it had).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

enum class TLineValueKind : uint8_t { Empty, Integer, Text, Currency, Float };

// A currency amount: fixed point with four decimals (12.35 is 123500).
struct TCurrency {
    int64_t Scaled = 0;
    bool operator==(const TCurrency&) const = default;
};

class TLineValue {
public:
    TLineValue() = default;
    static TLineValue Integer(int64_t value) { return TLineValue(TLineValueKind::Integer, value, 0, {}); }
    static TLineValue Text(std::string value) { return TLineValue(TLineValueKind::Text, 0, 0, std::move(value)); }
    static TLineValue Currency(TCurrency value) { return TLineValue(TLineValueKind::Currency, value.Scaled, 0, {}); }
    static TLineValue Float(double value) { return TLineValue(TLineValueKind::Float, 0, value, {}); }

    TLineValueKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == TLineValueKind::Empty; }
    int64_t AsInteger() const { return integer_; }
    const std::string& AsTextValue() const { return text_; }
    TCurrency AsCurrency() const { return TCurrency{integer_}; }
    double AsFloat() const { return float_; }

    // The text form: "" for nothing, numbers as their general text with 15 significant digits,
    // currency with the decimals it has ("12.35", "100").
    std::string ToText() const;

    bool operator==(const TLineValue&) const = default;

private:
    TLineValue(TLineValueKind kind, int64_t integer, double number, std::string text)
        : kind_(kind), integer_(integer), float_(number), text_(std::move(text)) {}

    TLineValueKind kind_ = TLineValueKind::Empty;
    int64_t integer_ = 0;   // integer, or currency scaled by 10000
    double float_ = 0;
    std::string text_;
};

// Converts a value to a kind: numbers into text become their general text with 15 significant
// digits; text into a number is read as a number. Refusals are exceptions (EConvertError for
// text that is no number, Exception for a value out of the kind's range).
TLineValue ConvertLineValue(const TLineValue& value, TLineValueKind kind);

std::string CurrencyToText(TCurrency value);   // "12.35", "-0.5", "100"

enum class TAlignment : uint8_t { Left, Center, Right };

// How one column is shown; the grid takes everything from here.
struct TLineColumn {
    const char* Name;            // the grid column's name
    const char* Caption;         // design caption
    TLineValueKind Kind;
    TAlignment Alignment;        // of the cells
    TAlignment HeaderAlignment;
    int Width;                   // pixels; 0 = the grid's default width
    bool TwoDecimals;            // display format "0.00;-0.00"
};

constexpr int kLineColumnCount = 14;
extern const std::array<TLineColumn, kLineColumnCount> kLineColumns;

// Column indices the import and the export use.
enum TLineItem : int {
    liNumber = 0, liName = 1, liModel = 2, liUnit = 3, liQuantity = 4, liPrice = 5, liAmount = 6,
    liRate = 7, liTaxCode = 8, liOwnCode = 9, liPolicyUsed = 10, liZeroRate = 11, liPolicyText = 12,
    liDeduction = 13,
};

// Told about changes so that a view can follow. Changes come in resets: BeginReset before the
// data changes, EndReset after; a batch (BeginUpdate ... EndUpdate) is one reset.
class TLineTableObserver {
public:
    virtual ~TLineTableObserver() = default;
    virtual void BeginReset() = 0;
    virtual void EndReset() = 0;
    virtual void CaptionsChanged() = 0;
    virtual void BestFitColumns() = 0;   // resize every column to its content
};

class TLineTable {
public:
    TLineTable();

    int RecordCount() const { return static_cast<int>(records_.size()); }
    // New records start with every cell empty; a lower count drops records at the end.
    void SetRecordCount(int count);

    // The value at (record, item); EListError outside the table.
    const TLineValue& Value(int record, int item) const;
    // Stores the value converted to the column's kind; refusals leave the cell as it was.
    void SetValue(int record, int item, const TLineValue& value);

    const std::string& Caption(int item) const;   // EListError outside the columns
    void SetCaption(int item, std::string caption);

    // Suspends the view's updates until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updateDepth_ > 0; }
    void ApplyBestFit();

    void SetObserver(TLineTableObserver* observer) { observer_ = observer; }

private:
    class Change;
    using Record = std::array<TLineValue, kLineColumnCount>;
    std::vector<Record> records_;
    std::array<std::string, kLineColumnCount> captions_;
    int updateDepth_ = 0;
    TLineTableObserver* observer_ = nullptr;
};

} // namespace tessaly
