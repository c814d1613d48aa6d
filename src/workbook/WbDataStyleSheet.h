#pragma once
// The workbook's table of cell formats, as far as reading needs it: every stored cell and row
// names a format by index, the index must exist, and each use is counted.

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

struct TWbFont {
    std::u16string Name = u"Calibri";
    double Size = 11;
    uint8_t Charset = 0;
    uint8_t Family = 0;
    bool Bold = false;
    bool Italic = false;
    bool Strike = false;
    bool Condense = false;
    bool Extend = false;
    bool Outline = false;
    bool Shadow = false;
    uint8_t Underline = 0;   // 0 none, 1 single, 2 double, 3 single accounting, 4 double accounting
    uint8_t VertAlign = 0;   // 0 baseline, 1 superscript, 2 subscript
    uint32_t Color = 0;      // ARGB, or an indexed colour
    uint8_t Scheme = 0;      // 0 none, 1 major, 2 minor

    // Font equality of the style table: names compared without regard to case.
    bool SameAs(const TWbFont& other) const;
};

// A cell format refers to one number format, font, fill and border by index.
struct TWbXF {
    int32_t NumFmt = 0;
    int32_t Font = 0;
    int32_t Fill = 0;
    int32_t Border = 0;
};

class TWbDataStyleSheet {
public:
    TWbDataStyleSheet();  // the start state: one default font and one default format in each XF list

    void Clear();  // empties every list and puts the defaults back

    // Fonts.
    int32_t FontCount() const;
    const TWbFont& FontAt(int32_t index) const;            // EListError outside the list
    int32_t AddFont(const TWbFont& font);
    void SetFont(int32_t index, const TWbFont& font);      // overwrites, or appends at index == count
    int32_t FindFont(const TWbFont& font) const;           // -1 when no font is the same
    void AddFontUse(int32_t index);
    void ReleaseFontUse(int32_t index);
    int32_t FontUseCount(int32_t index) const;

    // Number formats, fills and borders are counted, not interpreted.
    int32_t AddNumberFormat(int32_t id, const std::u16string& code);
    int32_t AddFill();
    int32_t AddBorder();

    // Cell formats (the list a cell's Style indexes).
    int32_t XFCount() const;
    const TWbXF& XFAt(int32_t index) const;                // EListError "List index out of bounds (%d)"
    int32_t AddXF(const TWbXF& xf);
    void SetXF(int32_t index, const TWbXF& xf);            // overwrites, or appends at index == count
    // A use of a format counts on the format at once and on its number format, font, fill and
    // border as soon as anything asks for their counts or changes what they are (see Pending).
    void AddXFUse(int32_t index);                          // EListError beyond the list
    void ReleaseXFUse(int32_t index);
    int32_t XFUseCount(int32_t index) const;

    // Cell-style formats.
    int32_t StyleXFCount() const;
    int32_t AddStyleXF(const TWbXF& xf);

private:
    struct Counted {
        int32_t UseCount = 0;
    };
    struct FontEntry : Counted {
        TWbFont Font;
    };
    // Pending: uses of the format (added minus given up) not yet counted on the entries it
    // refers to. Counting every use on five lists would cost every stored cell five counters;
    // the format's own count and this one do. Listed: the format stands in pendingXFs_.
    struct XFEntry : Counted {
        TWbXF XF;
        int32_t Pending = 0;
        bool Listed = false;
    };
    struct NumFmtEntry : Counted {
        int32_t Id = 0;
        std::u16string Code;
    };

    void AddFormatUses(const TWbXF& xf, int delta);
    // Counts the pending uses on the entries the formats refer to; before anything that changes
    // a format or makes a list longer (an index beyond a list is not counted, so the lists must
    // stand as they stood when the uses were taken).
    void CountPendingUses();
    [[noreturn]] static void ThrowListError(int32_t index);

    std::vector<FontEntry> fonts_;
    std::vector<NumFmtEntry> numFmts_;
    std::vector<Counted> fills_;
    std::vector<Counted> borders_;
    std::vector<XFEntry> xfs_;
    std::vector<XFEntry> styleXfs_;
    std::vector<int32_t> pendingXFs_;   // the formats with uses pending, each once
};

inline void TWbDataStyleSheet::AddXFUse(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= xfs_.size()) ThrowListError(index);
    XFEntry& entry = xfs_[index];
    ++entry.UseCount;
    ++entry.Pending;
    if (!entry.Listed) {
        entry.Listed = true;
        pendingXFs_.push_back(index);
    }
}

} // namespace tessaly
