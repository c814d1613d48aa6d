#include "xlsx/XmlParserXLSX.h"

#include "core/AsciiCase.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/Utf.h"
#include "xlsx/XLSReadXLSX.h"
#include "xlsx/XmlValues.h"

namespace tessaly {

namespace {

constexpr std::string_view kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictMainNamespace = "http://purl.oclc.org/ooxml/spreadsheetml/main";
constexpr std::string_view kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRelationshipsNamespace = "http://purl.oclc.org/ooxml/officeDocument/relationships";

// Enumerations: the value matched ignoring letter case; anything else gives the first member.
template <size_t N>
uint8_t EnumValue(std::string_view text, const std::string_view (&members)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (EqualsIgnoringAsciiCase(text, members[i])) return static_cast<uint8_t>(i);
    return 0;
}

// Non-negative decimal integers are the common case of style and index attributes.
inline bool ParseSmallUnsigned(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 10) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

int64_t IntOf(TXmlAttributeList& attributes, int index, int64_t defaultValue) {
    int64_t value;
    if (ParseSmallUnsigned(attributes.AttrValueUtf8(index), value)) return value;
    return attributes.AttrInt(index, defaultValue);
}

uint32_t ParseColor(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        const std::string_view value = attributes.AttrValueUtf8(i);
        if (name == "rgb") {
            uint32_t rgb = 0;
            for (char c : value) {
                const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0;
                rgb = rgb * 16 + static_cast<uint32_t>(d);
            }
            return rgb;
        }
        if (name == "indexed") return static_cast<uint32_t>(attributes.AttrInt(i, 0)) & 0xFFFF;
        if (name == "theme") return 0x00FE0000u | (static_cast<uint32_t>(attributes.AttrInt(i, 0)) & 0xFFFF);
        if (name == "auto") return 0x00FF0000u;
    }
    return 0;
}

class TRootObject final : public TXmlElement {
public:
    explicit TRootObject(std::initializer_list<TXmlDocXLSX::Root> roots) : roots_(roots) {}
    TXmlElement* HandleElement(TXmlDocReader& reader) override {
        for (const auto& root : roots_)
            if (reader.LocalName() == root.Name) return root.Element;
        return this;
    }

private:
    std::initializer_list<TXmlDocXLSX::Root> roots_;
};

} // namespace

void TXmlDocXLSX::Parse(TStream& stream, std::initializer_list<Root> roots) {
    TRootObject root(roots);
    TXmlErrors errors;
    errors.Handler = [](const std::string&) {};   // unknown names are warnings nobody reads
    TXmlDocReader reader(root, errors);
    reader.FoldNamespace(kMainNamespace);
    reader.FoldNamespace(kStrictMainNamespace);
    reader.SetMarkupCompatibility(true);
    reader.Parse(stream);
}

// ---------------------------------------------------------------------------------------------

TXmlElement* TFontProperties::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    TXmlAttributeList& a = reader.Attributes();
    const int val = a.IndexOf("val");
    auto flag = [&] { return val < 0 ? true : a.AttrBool(val, true); };
    auto number = [&] { return val < 0 ? 0 : a.AttrInt(val, 0); };
    if (name == "name" || name == "rFont") {
        Font.Name = val < 0 ? std::u16string() : a.AttrValue(val);
    } else if (name == "sz") {
        Font.Size = val < 0 ? 0 : a.AttrDouble(val);
    } else if (name == "b") {
        Font.Bold = flag();
    } else if (name == "i") {
        Font.Italic = flag();
    } else if (name == "strike") {
        Font.Strike = flag();
    } else if (name == "condense") {
        Font.Condense = flag();
    } else if (name == "extend") {
        Font.Extend = flag();
    } else if (name == "outline") {
        Font.Outline = flag();
    } else if (name == "shadow") {
        Font.Shadow = flag();
    } else if (name == "u") {
        static const std::string_view kUnderline[] = {"none", "single", "double", "singleAccounting", "doubleAccounting"};
        Font.Underline = val < 0 ? 1 : EnumValue(a.AttrValueUtf8(val), kUnderline);
    } else if (name == "vertAlign") {
        static const std::string_view kVertAlign[] = {"baseline", "superscript", "subscript"};
        Font.VertAlign = val < 0 ? 0 : EnumValue(a.AttrValueUtf8(val), kVertAlign);
    } else if (name == "color") {
        Font.Color = ParseColor(a);
    } else if (name == "family") {
        Font.Family = static_cast<uint8_t>(number());
    } else if (name == "charset") {
        Font.Charset = static_cast<uint8_t>(number());
    } else if (name == "scheme") {
        static const std::string_view kScheme[] = {"none", "major", "minor"};
        Font.Scheme = val < 0 ? 0 : EnumValue(a.AttrValueUtf8(val), kScheme);
    }
    return this;
}

void TCT_RElt::Clear() {
    Text.clear();
    HasRPr = false;
}

TXmlElement* TCT_RElt::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name == "t") {
        reader.AppendText(Text);
    } else if (name == "rPr") {
        HasRPr = true;
        RPr.Clear();
        return &RPr;
    }
    return this;
}

void TCT_Rst::Clear() {
    Text.clear();
    HasText = false;
    RunCount = 0;
}

TXmlElement* TCT_Rst::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name == "t") {
        HasText = true;
        reader.AppendText(Text);
        return this;
    }
    if (name == "r") {
        if (RunCount == Runs.size()) Runs.emplace_back();
        TCT_RElt& run = Runs[RunCount++];
        run.Clear();
        return &run;
    }
    if (name == "rPh") return &phonetic_;   // phonetic text never joins the string
    return this;
}

std::u16string TCT_Rst::PlainText() const {
    std::u16string text = Text;
    for (size_t i = 0; i < RunCount; ++i) text += Runs[i].Text;
    return text;
}

TXmlElement* TCT_Sst::HandleElement(TXmlDocReader& reader) {
    if (reader.QualifiedName() == "si") {
        item_.Clear();
        return &item_;
    }
    return this;
}

void TCT_Sst::AfterChild(TXmlDocReader&, TXmlElement& child) {
    if (&child == &item_) owner_.AppendSharedString(item_);
}

// ---------------------------------------------------------------------------------------------

void TCT_Sheet::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "name") {
            Name = attributes.AttrValue(i);
        } else if (name == "sheetId") {
            SheetId = attributes.AttrInt(i, 0);
        } else if (name == "state") {
            static const std::string_view kState[] = {"visible", "hidden", "veryHidden"};
            State = EnumValue(attributes.AttrValueUtf8(i), kState);
        } else if (attributes.AttrLocalName(i) == "id") {
            const std::string_view ns = attributes.AttrNamespace(i);
            if (ns == kRelationshipsNamespace || ns == kStrictRelationshipsNamespace || name == "r:id")
                RelId = attributes.AttrValueUtf8(i);
        }
    }
}

TXmlElement* TCT_Workbook::TSheets::HandleElement(TXmlDocReader& reader) {
    if (reader.QualifiedName() == "sheet") return &owner_.Sheets.Add();
    return this;
}

TXmlElement* TCT_Workbook::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name == "sheets") return &sheets_;
    if (name == "workbookPr") {
        TXmlAttributeList& a = reader.Attributes();
        const int index = a.IndexOf("date1904");
        if (index >= 0) Date1904 = a.AttrBool(index, false);
        return this;
    }
    reader.SkipElement();
    return this;
}

// ---------------------------------------------------------------------------------------------

TCT_Stylesheet::TCT_Stylesheet(TWbDataStyleSheet& styles) : styles_(styles) {}

TXmlElement* TCT_Stylesheet::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name == "numFmts") return &numFmts_;
    if (name == "fonts") return &fonts_;
    if (name == "fills") return &fills_;
    if (name == "borders") return &borders_;
    if (name == "cellStyleXfs") return &cellStyleXfs_;
    if (name == "cellXfs") return &cellXfs_;
    reader.SkipElement();   // cell styles, differential formats, table styles, colours
    return this;
}

TXmlElement* TCT_Stylesheet::TList::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    switch (kind_) {
    case 0:
        if (name == "numFmt") {
            TXmlAttributeList& a = reader.Attributes();
            int64_t id = 0;
            std::u16string code;
            for (int i = 0; i < a.Count(); ++i) {
                if (a.AttrName(i) == "numFmtId") id = a.AttrInt(i, 0);
                else if (a.AttrName(i) == "formatCode") code = a.AttrValue(i);
            }
            const int32_t index = owner_.styles_.AddNumberFormat(static_cast<int32_t>(id), code);
            owner_.numFmtIndex_[id] = index;
        }
        return this;
    case 1:
        if (name != "font") return this;
        owner_.font_.Clear();
        return &owner_.font_;
    case 2:
        return name == "fill" ? static_cast<TXmlElement*>(&owner_.sink_) : this;
    case 3:
        return name == "border" ? static_cast<TXmlElement*>(&owner_.sink_) : this;
    default:
        if (name != "xf") return this;
        owner_.xf_.XF = TWbXF();
        return &owner_.xf_;
    }
}

void TCT_Stylesheet::TList::AfterChild(TXmlDocReader&, TXmlElement& child) {
    if (&child == this) return;
    TWbDataStyleSheet& styles = owner_.styles_;
    switch (kind_) {
    case 1: styles.SetFont(Count, owner_.font_.Font); break;
    case 2: styles.AddFill(); break;
    case 3: styles.AddBorder(); break;
    case 4: styles.AddStyleXF(owner_.xf_.XF); break;
    case 5: styles.SetXF(Count, owner_.xf_.XF); break;
    default: return;
    }
    ++Count;
}

void TCT_Stylesheet::TXf::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "numFmtId") {
            // Built-in formats have no entry of their own.
            const auto it = numFmtIndex_->find(attributes.AttrInt(i, 0));
            XF.NumFmt = it == numFmtIndex_->end() ? -1 : it->second;
        } else if (name == "fontId") {
            XF.Font = static_cast<int32_t>(attributes.AttrInt(i, 0));
        } else if (name == "fillId") {
            XF.Fill = static_cast<int32_t>(attributes.AttrInt(i, 0));
        } else if (name == "borderId") {
            XF.Border = static_cast<int32_t>(attributes.AttrInt(i, 0));
        }
    }
}

// ---------------------------------------------------------------------------------------------

void TCT_CellFormula::Clear() {
    Type = ftNormal;
    Text.clear();
    HasText = false;
    Ref.clear();
    R1.clear();
    R2.clear();
    Si = 65535;
    Aca = Ca = Bx = Dt2D = Dtr = Del1 = Del2 = false;
}

void TCT_CellFormula::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "t") {
            static const std::string_view kTypes[] = {"normal", "array", "dataTable", "shared"};
            Type = static_cast<TFormulaType>(EnumValue(attributes.AttrValueUtf8(i), kTypes));
        } else if (name == "ref") {
            Ref = attributes.AttrValueUtf8(i);
        } else if (name == "r1") {
            R1 = attributes.AttrValueUtf8(i);
        } else if (name == "r2") {
            R2 = attributes.AttrValueUtf8(i);
        } else if (name == "si") {
            Si = IntOf(attributes, i, 65535);
        } else if (name == "aca") {
            Aca = attributes.AttrBool(i, false);
        } else if (name == "ca") {
            Ca = attributes.AttrBool(i, false);
        } else if (name == "bx") {
            Bx = attributes.AttrBool(i, false);
        } else if (name == "dt2D") {
            Dt2D = attributes.AttrBool(i, false);
        } else if (name == "dtr") {
            Dtr = attributes.AttrBool(i, false);
        } else if (name == "del1") {
            Del1 = attributes.AttrBool(i, false);
        } else if (name == "del2") {
            Del2 = attributes.AttrBool(i, false);
        }
    }
}

void TCT_Cell::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name.size() != 1) continue;   // cm, vm, ph are not stored
        switch (name[0]) {
        case 'r': {
            const std::string_view ref = attributes.AttrValueUtf8(i);
            HasRef = true;
            RefValid = ParseCellRef(ref, Col, Row);
            if (!RefValid) RefText = ref;
            break;
        }
        case 's':
            Style = IntOf(attributes, i, 0);
            break;
        case 't': {
            const std::string_view t = attributes.AttrValueUtf8(i);
            if (t.size() == 1 && t[0] == 's') {
                Type = ctSharedString;
            } else {
                static const std::string_view kCellTypes[] = {"b", "n", "d", "e", "s", "str", "inlineStr"};
                Type = static_cast<TCellType>(EnumValue(t, kCellTypes));
            }
            break;
        }
        default:
            break;
        }
    }
}

TXmlElement* TCT_Cell::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name.size() == 1) {
        if (name[0] == 'v') {
            const std::string_view text = reader.TextUtf8();
            HasValue = !text.empty();
            if (Type == ctNumber) NumberValid = ParseNumberText(text, Number);
            else if (Type == ctSharedString) Index = ParseIndexText(text);
            else V.assign(text);
            return this;
        }
        if (name[0] == 'f') {
            F.Clear();
            HasF = true;
            F.HasText = reader.HasText();
            F.Text.assign(reader.TextUtf8());
            return &F;
        }
        return this;
    }
    if (name == "is") {
        Is.Clear();
        HasIs = true;
        return &Is;
    }
    return this;
}

void TCT_Row::Clear(int32_t index) {
    Index = index;
    LastCol = -1;
    Style = 0;
    Height = 0;
    Options = 0;
    OutlineLevel = 0;
}

void TCT_Row::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "r") {
            int64_t r;
            const std::string_view text = attributes.AttrValueUtf8(i);
            if (!ParseSmallUnsigned(text, r) && !ParseXmlInt(text, r)) r = 0;
            if (r < 1 || r > kMaxRow + 1)
                throw Exception(Format("Invalid row number \"%.*s\"", static_cast<int>(text.size()), text.data()));
            Index = static_cast<int32_t>(r - 1);
        } else if (name == "s") {
            Style = IntOf(attributes, i, 0);
        } else if (name == "ht") {
            Height = attributes.AttrDouble(i);
        } else if (name == "hidden") {
            if (attributes.AttrBool(i, false)) Options |= 0x01;
        } else if (name == "customHeight") {
            if (attributes.AttrBool(i, false)) Options |= 0x02;
        } else if (name == "collapsed") {
            if (attributes.AttrBool(i, false)) Options |= 0x04;
        } else if (name == "thickTop") {
            if (attributes.AttrBool(i, false)) Options |= 0x08;
        } else if (name == "thickBot") {
            if (attributes.AttrBool(i, false)) Options |= 0x10;
        } else if (name == "ph") {
            if (attributes.AttrBool(i, false)) Options |= 0x20;
        } else if (name == "outlineLevel") {
            const int64_t level = attributes.AttrInt(i, 0);
            OutlineLevel = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
        }
    }
}

TXmlElement* TCT_Row::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name.size() == 1 && name[0] == 'c') {
        cell_.Clear();
        return &cell_;
    }
    return this;
}

void TCT_Row::AfterChild(TXmlDocReader&, TXmlElement& child) {
    if (&child == &cell_) owner_.StoreCell(cell_, *this);
}

TXmlElement* TCT_SheetData::HandleElement(TXmlDocReader& reader) {
    if (reader.QualifiedName() == "row") {
        row_.Clear(LastRow + 1);
        return &row_;
    }
    return this;
}

void TCT_SheetData::AfterChild(TXmlDocReader&, TXmlElement& child) {
    if (&child != &row_) return;
    owner_.StoreRow(row_);
    LastRow = row_.Index;
}

TXmlElement* TCT_Worksheet::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name == "sheetData") return &sheetData_;
    if (name == "dimension") {
        TXmlAttributeList& a = reader.Attributes();
        const int index = a.IndexOf("ref");
        // A dimension that does not parse is only a hint that is missing.
        if (index >= 0) HasDimension = ParseCellArea(a.AttrValueUtf8(index), Dimension);
        return this;
    }
    reader.SkipElement();   // views, columns, merged cells, formats, page setup, ...
    return this;
}

} // namespace tessaly
