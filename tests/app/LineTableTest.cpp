#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/LineTable.h"
#include "app/NumberTexts.h"
#include "core/Exception.h"

using namespace tessaly;

namespace {

TLineValue Txt(const char* text) { return TLineValue::Text(text); }
TLineValue Cur(int64_t scaled) { return TLineValue::Currency(TCurrency{scaled}); }

} // namespace

namespace tessaly {
void PrintTo(const TLineValue& value, std::ostream* out) {
    *out << "kind " << static_cast<int>(value.Kind()) << " \"" << value.ToText() << "\"";
}
} // namespace tessaly

TEST(LineTable, StoringConvertsToTheColumnKind) {
    struct Case {
        int item;
        TLineValue stored;
        TLineValue held;
    };
    const Case cases[] = {
        {liNumber, TLineValue::Integer(7), TLineValue::Integer(7)},
        {liQuantity, TLineValue::Float(2), Txt("2")},
        {liRate, TLineValue::Float(0.13), Txt("0.13")},
        {liTaxCode, TLineValue::Float(1010101020000000000.0), Txt("1.01010102E18")},
        {liPrice, TLineValue::Float(100 / 1.13), Txt("88.495575221239")},
        {liName, Txt("商品"), Txt("商品")},
        {liAmount, TLineValue::Float(12.35), Cur(123500)},
        {liAmount, TLineValue::Float(-10.05), Cur(-100500)},
        {liAmount, Txt(" 88.5 "), Cur(885000)},
        {liAmount, TLineValue::Float(12.34567), Cur(123457)},
        {liAmount, TLineValue::Float(-0.00004), Cur(0)},
        {liDeduction, Txt("1.5"), TLineValue::Float(1.5)},
        {liDeduction, TLineValue::Integer(3), TLineValue::Float(3)},
        {liModel, Cur(123500), Txt("12.35")},
    };
    for (const auto& c : cases) {
        TLineTable table;
        table.SetRecordCount(1);
        table.SetValue(0, c.item, c.stored);
        EXPECT_EQ(table.Value(0, c.item), c.held) << "item " << c.item << " " << c.stored.ToText();
    }
}

TEST(LineTable, RefusedValuesLeaveTheCellAsItWas) {
    TLineTable table;
    table.SetRecordCount(1);
    table.SetValue(0, liAmount, TLineValue::Float(5));
    table.SetValue(0, liDeduction, TLineValue::Float(2));

    struct Case {
        int item;
        TLineValue stored;
        const char* message;
    };
    const Case cases[] = {
        {liAmount, Txt("1,234.50"), "'1,234.50' is not a valid floating point value"},
        {liAmount, Txt("13%"), "'13%' is not a valid floating point value"},
        {liAmount, Txt(""), "'' is not a valid floating point value"},
        {liAmount, TLineValue::Float(1e300), "Overflow while converting variant of type (Double) into type (Currency)"},
        {liDeduction, Txt("abc"), "'abc' is not a valid floating point value"},
        {14, Txt("right of M"), "List index out of bounds (14)"},
    };
    for (const auto& c : cases) {
        try {
            table.SetValue(0, c.item, c.stored);
            ADD_FAILURE() << c.message;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(table.Value(0, liAmount), Cur(50000));
    EXPECT_EQ(table.Value(0, liDeduction), TLineValue::Float(2));
}

TEST(LineTable, RecordsExistBySettingTheCount) {
    TLineTable table;
    EXPECT_EQ(table.RecordCount(), 0);
    table.SetRecordCount(3);
    table.SetValue(2, liName, Txt("c"));
    EXPECT_TRUE(table.Value(0, liName).IsEmpty());
    EXPECT_EQ(table.Value(0, liName).ToText(), "");
    table.SetRecordCount(2);
    EXPECT_THROW(table.Value(2, liName), EListError);
    table.SetRecordCount(3);
    EXPECT_TRUE(table.Value(2, liName).IsEmpty());   // a new record starts empty
    EXPECT_THROW(table.SetValue(3, liName, Txt("x")), EListError);
    EXPECT_THROW(table.Value(0, -1), EListError);
}

TEST(LineTable, TextForms) {
    struct Case {
        TLineValue value;
        const char* text;
    };
    const Case cases[] = {
        {TLineValue(), ""},
        {TLineValue::Integer(-12), "-12"},
        {Cur(1000000), "100"},
        {Cur(123500), "12.35"},
        {Cur(-5000), "-0.5"},
        {Cur(1), "0.0001"},
        {TLineValue::Float(0.00001234), "1.234E-5"},
        {Txt(" x "), " x "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.ToText(), c.text);
}

namespace {

struct RecordingObserver : TLineTableObserver {
    std::vector<std::string> calls;
    void BeginReset() override { calls.push_back("begin"); }
    void EndReset() override { calls.push_back("end"); }
    void CaptionsChanged() override { calls.push_back("captions"); }
    void BestFitColumns() override { calls.push_back("fit"); }
};

} // namespace

TEST(LineTable, ViewFollowsInResetsAndABatchIsOneReset) {
    TLineTable table;
    RecordingObserver view;
    table.SetObserver(&view);
    table.SetRecordCount(2);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"begin", "end"}));

    view.calls.clear();
    table.BeginUpdate();
    table.SetValue(0, liName, Txt("a"));
    table.SetValue(1, liName, Txt("b"));
    table.SetRecordCount(5);
    table.EndUpdate();
    table.ApplyBestFit();
    table.SetCaption(liPrice, "单价(不含税)");
    EXPECT_EQ(view.calls, (std::vector<std::string>{"begin", "end", "fit", "captions"}));
    EXPECT_EQ(table.Caption(liPrice), "单价(不含税)");
}

TEST(LineTable, ColumnsAsTheGridShowsThem) {
    const char* captions[] = {"序号", "商品名称", "规格型号", "计量单位", "数量", "单价(含税)", "金额(含税)",
                              "税率", "税收分类编码", "企业自编码", "是否使用优惠政策", "零税率标识",
                              "优惠政策说明", "差额税计算扣除额"};
    TLineTable table;
    for (int i = 0; i < kLineColumnCount; ++i) EXPECT_EQ(table.Caption(i), captions[i]);
    EXPECT_STREQ(kLineColumns[liPrice].Name, "GridView1Column10");
    EXPECT_EQ(kLineColumns[liAmount].Kind, TLineValueKind::Currency);
    EXPECT_TRUE(kLineColumns[liAmount].TwoDecimals);
    EXPECT_EQ(kLineColumns[liDeduction].Kind, TLineValueKind::Float);
}
