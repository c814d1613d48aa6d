#include "workbook/WbDataStyleSheet.h"

#include "core/Exception.h"
#include "workbook/Types.h"

namespace tessaly {

namespace {

template <typename List>
void CheckIndex(const List& list, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= list.size()) throw EListError(index);
}

// Counts a use of an entry that a format refers to; a reference outside its list (for example
// a built-in number format that has no entry of its own) is not counted.
template <typename List>
void CountUse(List& list, int32_t index, int delta) {
    if (index >= 0 && static_cast<size_t>(index) < list.size()) list[index].UseCount += delta;
}

} // namespace

bool TWbFont::SameAs(const TWbFont& other) const {
    return SameTextIgnoringCase(Name, other.Name) && Size == other.Size &&
           Charset == other.Charset && Family == other.Family && Bold == other.Bold &&
           Italic == other.Italic && Strike == other.Strike && Condense == other.Condense &&
           Extend == other.Extend && Outline == other.Outline && Shadow == other.Shadow &&
           Underline == other.Underline && VertAlign == other.VertAlign &&
           Color == other.Color && Scheme == other.Scheme;
}

TWbDataStyleSheet::TWbDataStyleSheet() { Clear(); }

void TWbDataStyleSheet::Clear() {
    pendingXFs_.clear();
    fonts_.clear();
    numFmts_.clear();
    fills_.clear();
    borders_.clear();
    xfs_.clear();
    styleXfs_.clear();
    // The defaults: font 0 and format 0 of both format lists, each in use from the start.
    FontEntry font;
    font.UseCount = 1;
    fonts_.push_back(font);
    XFEntry xf;
    xf.UseCount = 1;
    xfs_.push_back(xf);
    styleXfs_.push_back(xf);
}

int32_t TWbDataStyleSheet::FontCount() const { return static_cast<int32_t>(fonts_.size()); }

const TWbFont& TWbDataStyleSheet::FontAt(int32_t index) const {
    CheckIndex(fonts_, index);
    return fonts_[index].Font;
}

int32_t TWbDataStyleSheet::AddFont(const TWbFont& font) {
    CountPendingUses();
    FontEntry entry;
    entry.Font = font;
    fonts_.push_back(entry);
    return FontCount() - 1;
}

void TWbDataStyleSheet::SetFont(int32_t index, const TWbFont& font) {
    if (index == FontCount()) {
        AddFont(font);
        return;
    }
    CheckIndex(fonts_, index);
    fonts_[index].Font = font;
}

int32_t TWbDataStyleSheet::FindFont(const TWbFont& font) const {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].Font.SameAs(font)) return static_cast<int32_t>(i);
    return -1;
}

void TWbDataStyleSheet::AddFontUse(int32_t index) {
    CheckIndex(fonts_, index);
    ++fonts_[index].UseCount;
}

void TWbDataStyleSheet::ReleaseFontUse(int32_t index) { CountUse(fonts_, index, -1); }

int32_t TWbDataStyleSheet::FontUseCount(int32_t index) const {
    CheckIndex(fonts_, index);
    int32_t count = fonts_[index].UseCount;
    for (int32_t xf : pendingXFs_)
        if (xfs_[xf].XF.Font == index) count += xfs_[xf].Pending;
    return count;
}

int32_t TWbDataStyleSheet::AddNumberFormat(int32_t id, const std::u16string& code) {
    CountPendingUses();
    NumFmtEntry entry;
    entry.Id = id;
    entry.Code = code;
    numFmts_.push_back(entry);
    return static_cast<int32_t>(numFmts_.size()) - 1;
}

int32_t TWbDataStyleSheet::AddFill() {
    CountPendingUses();
    fills_.emplace_back();
    return static_cast<int32_t>(fills_.size()) - 1;
}

int32_t TWbDataStyleSheet::AddBorder() {
    CountPendingUses();
    borders_.emplace_back();
    return static_cast<int32_t>(borders_.size()) - 1;
}

int32_t TWbDataStyleSheet::XFCount() const { return static_cast<int32_t>(xfs_.size()); }

const TWbXF& TWbDataStyleSheet::XFAt(int32_t index) const {
    CheckIndex(xfs_, index);
    return xfs_[index].XF;
}

int32_t TWbDataStyleSheet::AddXF(const TWbXF& xf) {
    XFEntry entry;
    entry.XF = xf;
    xfs_.push_back(entry);
    return XFCount() - 1;
}

void TWbDataStyleSheet::SetXF(int32_t index, const TWbXF& xf) {
    if (index == XFCount()) {
        AddXF(xf);
        return;
    }
    CheckIndex(xfs_, index);
    // Readers fill the formats before any cell names them, so no uses need to move; the uses
    // taken so far stay with what the format referred to until now.
    CountPendingUses();
    xfs_[index].XF = xf;
}

void TWbDataStyleSheet::AddFormatUses(const TWbXF& xf, int delta) {
    CountUse(numFmts_, xf.NumFmt, delta);
    CountUse(fonts_, xf.Font, delta);
    CountUse(fills_, xf.Fill, delta);
    CountUse(borders_, xf.Border, delta);
}

void TWbDataStyleSheet::ThrowListError(int32_t index) { throw EListError(index); }

void TWbDataStyleSheet::ReleaseXFUse(int32_t index) {
    // Tolerant: a use given up after the table was cleared has nothing left to count against.
    if (index < 0 || static_cast<size_t>(index) >= xfs_.size()) return;
    XFEntry& entry = xfs_[index];
    --entry.UseCount;
    --entry.Pending;
    if (!entry.Listed) {
        entry.Listed = true;
        pendingXFs_.push_back(index);
    }
}

void TWbDataStyleSheet::CountPendingUses() {
    for (int32_t index : pendingXFs_) {
        XFEntry& entry = xfs_[index];
        AddFormatUses(entry.XF, entry.Pending);
        entry.Pending = 0;
        entry.Listed = false;
    }
    pendingXFs_.clear();
}

int32_t TWbDataStyleSheet::XFUseCount(int32_t index) const {
    CheckIndex(xfs_, index);
    return xfs_[index].UseCount;
}

int32_t TWbDataStyleSheet::StyleXFCount() const { return static_cast<int32_t>(styleXfs_.size()); }

int32_t TWbDataStyleSheet::AddStyleXF(const TWbXF& xf) {
    XFEntry entry;
    entry.XF = xf;
    styleXfs_.push_back(entry);
    return StyleXFCount() - 1;
}

} // namespace tessaly
