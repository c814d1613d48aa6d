#pragma once
// The SpreadsheetML element classes on the cell-reading road: workbook and sheet list, shared
// strings (plain and rich), styles as far as cells need them (fonts and cell formats by
// position), and the sheet data with its rows, cells and formulas. Rows, cells and string items
// are single reused objects; a finished one is handed to the reader (TXLSReadXLSX) at its end
// tag. Element names are matched without their prefix when the prefix is bound to the
// SpreadsheetML main namespace (transitional or Strict); unknown elements and attributes are
// passed over.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "workbook/Types.h"
#include "workbook/WbDataStyleSheet.h"
#include "xlsx/XmlDocument.h"

namespace tessaly {

class TStream;
class TXLSReadXLSX;

// Cell value types, in the order of the schema's enumeration.
enum TCellType : uint8_t { ctBoolean = 0, ctNumber, ctDate, ctError, ctSharedString, ctString, ctInlineString };
enum TFormulaType : uint8_t { ftNormal = 0, ftArray, ftDataTable, ftShared };

// Reads one SpreadsheetML part into the given root objects (matched by the root element's name).
class TXmlDocXLSX {
public:
    struct Root {
        std::string_view Name;
        TXmlElement* Element;
    };
    void Parse(TStream& stream, std::initializer_list<Root> roots);
};

// Font properties, as written in a styles font or a rich-text run's rPr.
class TFontProperties : public TXmlElement {
public:
    TWbFont Font;
    void Clear() { Font = TWbFont(); }
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
};

// An element whose children do not matter, only that it occurred (fill, border, xf children).
class TXmlSink final : public TXmlElement {};

class TCT_RElt final : public TXmlElement {
public:
    std::u16string Text;
    bool HasRPr = false;
    TFontProperties RPr;
    void Clear();
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
};

// A rich or plain text: a shared-string item (si) or an inline string (is).
class TCT_Rst final : public TXmlElement {
public:
    std::u16string Text;                 // of the t directly inside
    bool HasText = false;
    std::vector<TCT_RElt> Runs;          // runs are reused; RunCount of them are current
    size_t RunCount = 0;
    void Clear();
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
    // The text alone: t followed by every run's text.
    std::u16string PlainText() const;

private:
    TXmlSink phonetic_;
};

class TCT_Sst final : public TXmlElement {
public:
    explicit TCT_Sst(TXLSReadXLSX& owner) : owner_(owner) {}
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
    void AfterChild(TXmlDocReader& reader, TXmlElement& child) override;

private:
    TXLSReadXLSX& owner_;
    TCT_Rst item_;
};

class TCT_Sheet final : public TXmlElement {
public:
    std::u16string Name;
    int64_t SheetId = 0;
    uint8_t State = 0;
    std::string RelId;
    void HandleAttributes(TXmlAttributeList& attributes) override;
};

class TCT_Workbook final : public TXmlElement {
public:
    bool Date1904 = false;
    TXmlElementList<TCT_Sheet> Sheets;
    TXmlElement* HandleElement(TXmlDocReader& reader) override;

private:
    class TSheets final : public TXmlElement {
    public:
        explicit TSheets(TCT_Workbook& owner) : owner_(owner) {}
        TXmlElement* HandleElement(TXmlDocReader& reader) override;

    private:
        TCT_Workbook& owner_;
    };
    TSheets sheets_{*this};
};

class TCT_Stylesheet final : public TXmlElement {
public:
    explicit TCT_Stylesheet(TWbDataStyleSheet& styles);
    TXmlElement* HandleElement(TXmlDocReader& reader) override;

private:
    // A list element (fonts, cellXfs, ...) whose items are counted and handed over by position.
    class TList final : public TXmlElement {
    public:
        TList(TCT_Stylesheet& owner, int kind) : owner_(owner), kind_(kind) {}
        int Count = 0;
        TXmlElement* HandleElement(TXmlDocReader& reader) override;
        void AfterChild(TXmlDocReader& reader, TXmlElement& child) override;

    private:
        TCT_Stylesheet& owner_;
        int kind_;
    };
    class TXf final : public TXmlElement {
    public:
        explicit TXf(const std::unordered_map<int64_t, int32_t>& numFmtIndex) : numFmtIndex_(&numFmtIndex) {}
        TWbXF XF;
        void HandleAttributes(TXmlAttributeList& attributes) override;

    private:
        const std::unordered_map<int64_t, int32_t>* numFmtIndex_;
    };
    friend class TList;

    TWbDataStyleSheet& styles_;
    TList numFmts_{*this, 0}, fonts_{*this, 1}, fills_{*this, 2}, borders_{*this, 3}, cellStyleXfs_{*this, 4},
        cellXfs_{*this, 5};
    std::unordered_map<int64_t, int32_t> numFmtIndex_;   // numFmtId -> entry of the style table
    TFontProperties font_;
    TXf xf_{numFmtIndex_};
    TXmlSink sink_;
};

class TCT_CellFormula final : public TXmlElement {
public:
    TFormulaType Type = ftNormal;
    std::string Text;
    bool HasText = false;
    std::string Ref;
    std::string R1, R2;
    int64_t Si = 65535;
    bool Aca = false, Ca = false, Bx = false, Dt2D = false, Dtr = false, Del1 = false, Del2 = false;
    void Clear();
    void HandleAttributes(TXmlAttributeList& attributes) override;
};

class TCT_Cell final : public TXmlElement {
public:
    bool HasRef = false;
    bool RefValid = false;
    int32_t Col = 0;
    int32_t Row = 0;
    std::string RefText;          // kept only when the reference does not parse
    int64_t Style = 0;
    TCellType Type = ctNumber;
    // The value (v) is converted as it is read: numbers and shared-string indexes at once,
    // the other types keep the text.
    bool HasValue = false;        // a v with text
    double Number = 0;
    bool NumberValid = false;
    int64_t Index = 0;
    std::string V;                // value text (entities decoded) of the other types
    bool HasF = false;
    TCT_CellFormula F;
    bool HasIs = false;
    TCT_Rst Is;

    void Clear() {
        HasRef = false;
        Style = 0;
        Type = ctNumber;
        HasValue = false;
        V.clear();
        HasF = false;
        HasIs = false;
    }
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
    void HandleAttributes(TXmlAttributeList& attributes) override;
};

class TCT_Row final : public TXmlElement {
public:
    explicit TCT_Row(TXLSReadXLSX& owner) : owner_(owner) {}
    int32_t Index = 0;            // 0-based; the row after the previous one unless r says otherwise
    int32_t LastCol = -1;         // column of the previous cell of this row
    int64_t Style = 0;
    double Height = 0;
    uint8_t Options = 0;
    uint8_t OutlineLevel = 0;
    void Clear(int32_t index);
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
    void HandleAttributes(TXmlAttributeList& attributes) override;
    void AfterChild(TXmlDocReader& reader, TXmlElement& child) override;

private:
    TXLSReadXLSX& owner_;
    TCT_Cell cell_;
};

class TCT_SheetData final : public TXmlElement {
public:
    explicit TCT_SheetData(TXLSReadXLSX& owner) : owner_(owner), row_(owner) {}
    int32_t LastRow = -1;
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
    void AfterChild(TXmlDocReader& reader, TXmlElement& child) override;

private:
    TXLSReadXLSX& owner_;
    TCT_Row row_;
};

class TCT_Worksheet final : public TXmlElement {
public:
    explicit TCT_Worksheet(TXLSReadXLSX& owner) : sheetData_(owner) {}
    bool HasDimension = false;
    TXLSCellArea Dimension;
    TXmlElement* HandleElement(TXmlDocReader& reader) override;

private:
    TCT_SheetData sheetData_;
};

} // namespace tessaly
