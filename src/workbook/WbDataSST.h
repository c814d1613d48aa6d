#pragma once
// The shared string table: every text that cells show, held once per entry and addressed by
// index. Readers append in file order (index in the file == index here); inline texts are
// looked up or added by content.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class TWbDataStyleSheet;

// A font run of a rich string: from character Pos on, the text uses font Font.
struct TWbFontRun {
    uint32_t Pos = 0;
    uint32_t Font = 0;
};
using TWbDynFontRunArray = std::vector<TWbFontRun>;

class TWbDataSST {
public:
    explicit TWbDataSST(TWbDataStyleSheet& styles);
    ~TWbDataSST();
    TWbDataSST(const TWbDataSST&) = delete;
    TWbDataSST& operator=(const TWbDataSST&) = delete;

    int32_t AppendString(std::u16string_view text);
    int32_t AppendRichString(std::u16string_view text, std::span<const TWbFontRun> runs);
    int32_t AppendCompressed(uint32_t length, const uint8_t* bytes);      // 8-bit code units
    int32_t AppendUncompressed(uint32_t length, const char16_t* chars);   // UTF-16 code units
    int32_t FindOrAddString(std::u16string_view text);

    std::u16string StringAt(int32_t index) const;        // "Index out of range" outside 0..Count-1
    void AppendStringTo(int32_t index, std::u16string& out) const;  // StringAt without a new string
    uint32_t StringLength(int32_t index) const;          // in UTF-16 code units
    void AddStringRef(int32_t index);                    // "SST String is Nil" on an empty slot
    void ReleaseString(int32_t index);
    int32_t RefCount(int32_t index) const;
    bool IsRich(int32_t index) const;
    std::vector<TWbFontRun> Runs(int32_t index) const;

    void ClearStrings();
    void RebuildHash();
    int32_t Count() const;
    int32_t FreeSlots() const;

private:
    struct Impl;
    Impl* impl_;
};

} // namespace tessaly
