#include "workbook/WbDataSST.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include "core/Exception.h"
#include "workbook/WbDataStyleSheet.h"

namespace tessaly {

namespace {

// Item options: bit 0 16-bit characters, bit 2 extended (phonetic) data, bit 3 font runs.
constexpr uint8_t kOpt16Bit = 0x01;
constexpr uint8_t kOptExtended = 0x04;
constexpr uint8_t kOptRuns = 0x08;

bool ValidOptions(uint8_t options) { return (options & ~(kOpt16Bit | kOptExtended | kOptRuns)) == 0; }

// One heap block per item: this head, then the characters (Length bytes or Length UTF-16 code
// units), then RunCount font runs of 8 bytes (position, font), then ExtSize bytes. Lengths are
// 32-bit so that no text is ever cut short. The reference counts sit in an array of their own:
// every stored string cell counts one, and a dense array keeps that cheap.
struct ItemHead {
    uint32_t Length;
    uint32_t RunCount;
    uint32_t ExtSize;
    uint8_t Options;
};

constexpr size_t kHeadSize = (sizeof(ItemHead) + 7) & ~size_t(7);

uint8_t* Chars(ItemHead* item) { return reinterpret_cast<uint8_t*>(item) + kHeadSize; }
const uint8_t* Chars(const ItemHead* item) {
    return reinterpret_cast<const uint8_t*>(item) + kHeadSize;
}
size_t CharBytes(const ItemHead* item) {
    return static_cast<size_t>(item->Length) * ((item->Options & kOpt16Bit) ? 2 : 1);
}
const uint8_t* RunBytes(const ItemHead* item) { return Chars(item) + CharBytes(item); }

ItemHead* NewItem(uint32_t length, bool wide, uint32_t runCount) {
    const size_t charBytes = static_cast<size_t>(length) * (wide ? 2 : 1);
    const size_t size = kHeadSize + charBytes + static_cast<size_t>(runCount) * 8;
    auto* item = static_cast<ItemHead*>(std::malloc(size));
    if (!item) throw std::bad_alloc();
    item->Length = length;
    item->RunCount = runCount;
    item->ExtSize = 0;
    item->Options = static_cast<uint8_t>((wide ? kOpt16Bit : 0) | (runCount ? kOptRuns : 0));
    return item;
}

bool FitsIn8Bit(std::u16string_view text) {
    for (char16_t c : text)
        if (c > 0xFF) return false;
    return true;
}

uint32_t CheckedLength(size_t length) {
    if (length > UINT32_MAX) throw Exception("SST: string too long");
    return static_cast<uint32_t>(length);
}

ItemHead* NewPlainItem(std::u16string_view text, uint32_t runCount) {
    const bool wide = !FitsIn8Bit(text);
    ItemHead* item = NewItem(CheckedLength(text.size()), wide, runCount);
    uint8_t* chars = Chars(item);
    if (wide) {
        if (!text.empty()) std::memcpy(chars, text.data(), text.size() * 2);
    } else {
        for (size_t i = 0; i < text.size(); ++i) chars[i] = static_cast<uint8_t>(text[i]);
    }
    return item;
}

// FNV-1a over the UTF-16 code units, so 8-bit and 16-bit items of equal text hash alike.
uint32_t HashText(std::u16string_view text) {
    uint32_t h = 2166136261u;
    for (char16_t c : text) {
        h = (h ^ (c & 0xFF)) * 16777619u;
        h = (h ^ (c >> 8)) * 16777619u;
    }
    return h;
}

uint32_t HashItem(const ItemHead* item) {
    uint32_t h = 2166136261u;
    const uint8_t* chars = Chars(item);
    if (item->Options & kOpt16Bit) {
        for (uint32_t i = 0; i < item->Length; ++i) {
            char16_t c;
            std::memcpy(&c, chars + 2 * i, 2);
            h = (h ^ (c & 0xFF)) * 16777619u;
            h = (h ^ (c >> 8)) * 16777619u;
        }
    } else {
        for (uint32_t i = 0; i < item->Length; ++i) {
            h = (h ^ chars[i]) * 16777619u;
            h = h * 16777619u;
        }
    }
    return h;
}

bool ItemEquals(const ItemHead* item, std::u16string_view text) {
    if (item->Length != text.size()) return false;
    const uint8_t* chars = Chars(item);
    if (item->Options & kOpt16Bit)
        return text.empty() || std::memcmp(chars, text.data(), text.size() * 2) == 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (chars[i] != text[i]) return false;
    return true;
}

constexpr int32_t kNotHashed = -2;
constexpr int32_t kEndOfChain = -1;
constexpr size_t kMinBuckets = 65536;

} // namespace

struct TWbDataSST::Impl {
    explicit Impl(TWbDataStyleSheet& s) : styles(s) {}

    TWbDataStyleSheet& styles;
    std::vector<ItemHead*> items;   // size() is Count; a null slot is empty
    std::vector<int32_t> refs;      // per index: the number of cells that refer to the item
    std::set<int32_t> freeSlots;    // the empty slots below Count
    // The hash: chains of indices; the entry added last stands first in its chain.
    std::vector<int32_t> buckets;
    std::vector<int32_t> next;      // per index: the next index in its chain, or kNotHashed
    std::vector<uint32_t> hashes;   // per index: the hash of its text while it is hashed
    size_t hashedCount = 0;
    bool hashBuilt = false;

    ItemHead* ItemAt(int32_t index) const {
        if (index < 0 || static_cast<size_t>(index) >= items.size()) throw Exception("Index out of range");
        return items[index];
    }

    int32_t Append(ItemHead* item) {
        try {
            items.push_back(item);
            refs.push_back(0);
            next.push_back(kNotHashed);
            hashes.push_back(0);
        } catch (...) {
            // Out of memory part way: put the parallel arrays back to the old count.
            const size_t count = items.size() - (!items.empty() && items.back() == item ? 1 : 0);
            items.resize(count);
            refs.resize(std::min(refs.size(), count));
            next.resize(std::min(next.size(), count));
            hashes.resize(std::min(hashes.size(), count));
            std::free(item);
            throw;
        }
        return static_cast<int32_t>(items.size()) - 1;
    }

    void FreeItem(ItemHead* item) {
        if (item->Options & kOptRuns) {
            const uint8_t* runs = RunBytes(item);
            for (uint32_t i = 0; i < item->RunCount; ++i) {
                uint32_t font;
                std::memcpy(&font, runs + 8 * i + 4, 4);
                styles.ReleaseFontUse(static_cast<int32_t>(font));
            }
        }
        std::free(item);
    }

    size_t BucketOf(uint32_t hash) const { return hash & (buckets.size() - 1); }

    void PushFront(int32_t index, uint32_t hash) {
        const size_t b = BucketOf(hash);
        hashes[index] = hash;
        next[index] = buckets[b];
        buckets[b] = index;
    }

    // Doubles the buckets; equal texts keep their order in their (common) chain.
    void Grow() {
        std::vector<int32_t> old(buckets.size() * 2, kEndOfChain);
        old.swap(buckets);
        std::vector<int32_t> chain;
        for (int32_t head : old) {
            chain.clear();
            for (int32_t i = head; i >= 0; i = next[i]) chain.push_back(i);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) PushFront(*it, hashes[*it]);
        }
    }

    void AddToHash(int32_t index, uint32_t hash) {
        if (buckets.empty()) buckets.assign(kMinBuckets, kEndOfChain);
        if (hashedCount >= buckets.size()) Grow();
        PushFront(index, hash);
        ++hashedCount;
    }

    void RemoveFromHash(int32_t index) {
        if (next[index] == kNotHashed || buckets.empty()) return;
        int32_t* link = &buckets[BucketOf(hashes[index])];
        while (*link >= 0 && *link != index) link = &next[*link];
        if (*link == index) {
            *link = next[index];
            --hashedCount;
        }
        next[index] = kNotHashed;
    }

    void ClearHash() {
        buckets.clear();
        for (int32_t& n : next) n = kNotHashed;
        hashedCount = 0;
        hashBuilt = false;
    }

    int32_t Find(std::u16string_view text) const {
        if (buckets.empty()) return -1;
        const uint32_t hash = HashText(text);
        for (int32_t i = buckets[BucketOf(hash)]; i >= 0; i = next[i])
            if (hashes[i] == hash && ItemEquals(items[i], text)) return i;
        return -1;
    }
};

TWbDataSST::TWbDataSST(TWbDataStyleSheet& styles) : impl_(new Impl(styles)) {}

TWbDataSST::~TWbDataSST() {
    for (ItemHead* item : impl_->items) std::free(item);
    delete impl_;
}

int32_t TWbDataSST::AppendString(std::u16string_view text) {
    return impl_->Append(NewPlainItem(text, 0));
}

int32_t TWbDataSST::AppendRichString(std::u16string_view text, std::span<const TWbFontRun> runs) {
    if (runs.empty()) return AppendString(text);
    ItemHead* item = NewPlainItem(text, CheckedLength(runs.size()));
    uint8_t* out = Chars(item) + CharBytes(item);
    for (const TWbFontRun& run : runs) {
        std::memcpy(out, &run.Pos, 4);
        std::memcpy(out + 4, &run.Font, 4);
        out += 8;
    }
    return impl_->Append(item);
}

int32_t TWbDataSST::AppendCompressed(uint32_t length, const uint8_t* bytes) {
    ItemHead* item = NewItem(length, false, 0);
    if (length) std::memcpy(Chars(item), bytes, length);
    return impl_->Append(item);
}

int32_t TWbDataSST::AppendUncompressed(uint32_t length, const char16_t* chars) {
    ItemHead* item = NewItem(length, true, 0);
    if (length) std::memcpy(Chars(item), chars, static_cast<size_t>(length) * 2);
    return impl_->Append(item);
}

int32_t TWbDataSST::FindOrAddString(std::u16string_view text) {
    Impl& d = *impl_;
    if (!d.hashBuilt) RebuildHash();
    const int32_t found = d.Find(text);
    if (found >= 0) return found;

    ItemHead* item = NewPlainItem(text, 0);
    int32_t index;
    if (!d.freeSlots.empty()) {
        index = *d.freeSlots.begin();
        d.freeSlots.erase(d.freeSlots.begin());
        d.items[index] = item;
        d.refs[index] = 0;
    } else {
        index = d.Append(item);
    }
    d.AddToHash(index, HashText(text));
    return index;
}

std::u16string TWbDataSST::StringAt(int32_t index) const {
    std::u16string text;
    AppendStringTo(index, text);
    return text;
}

void TWbDataSST::AppendStringTo(int32_t index, std::u16string& out) const {
    const ItemHead* item = impl_->ItemAt(index);
    if (!item) return;   // an emptied slot reads as the empty text
    if (!ValidOptions(item->Options)) throw Exception("SST: Unhandled string type.");
    const uint8_t* chars = Chars(item);
    if (item->Options & kOpt16Bit) {
        // The code units were copied in from UTF-16 text, 2-aligned behind the head.
        out.append(reinterpret_cast<const char16_t*>(chars), item->Length);
        return;
    }
    const size_t start = out.size();
    out.resize(start + item->Length);
    char16_t* to = out.data() + start;
    for (uint32_t i = 0; i < item->Length; ++i) to[i] = chars[i];
}

uint32_t TWbDataSST::StringLength(int32_t index) const {
    const ItemHead* item = impl_->ItemAt(index);
    return item ? item->Length : 0;
}

void TWbDataSST::AddStringRef(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= impl_->items.size() || !impl_->items[index])
        throw Exception("SST String is Nil");
    ++impl_->refs[index];
}

void TWbDataSST::ReleaseString(int32_t index) {
    Impl& d = *impl_;
    if (index < 0 || static_cast<size_t>(index) >= d.items.size()) return;
    ItemHead* item = d.items[index];
    if (!item) return;
    if (--d.refs[index] >= 1) return;
    if (!(item->Options & kOptRuns)) d.RemoveFromHash(index);
    d.items[index] = nullptr;
    d.FreeItem(item);
    if (static_cast<size_t>(index) == d.items.size() - 1) {
        d.items.pop_back();
        d.refs.pop_back();
        d.next.pop_back();
        d.hashes.pop_back();
    } else {
        d.freeSlots.insert(index);
    }
}

int32_t TWbDataSST::RefCount(int32_t index) const {
    const ItemHead* item = impl_->ItemAt(index);
    return item ? impl_->refs[index] : 0;
}

bool TWbDataSST::IsRich(int32_t index) const {
    const ItemHead* item = impl_->ItemAt(index);
    return item && (item->Options & kOptRuns);
}

std::vector<TWbFontRun> TWbDataSST::Runs(int32_t index) const {
    const ItemHead* item = impl_->ItemAt(index);
    std::vector<TWbFontRun> runs;
    if (!item || !(item->Options & kOptRuns)) return runs;
    const uint8_t* bytes = RunBytes(item);
    runs.resize(item->RunCount);
    for (uint32_t i = 0; i < item->RunCount; ++i) {
        std::memcpy(&runs[i].Pos, bytes + 8 * i, 4);
        std::memcpy(&runs[i].Font, bytes + 8 * i + 4, 4);
    }
    return runs;
}

void TWbDataSST::ClearStrings() {
    Impl& d = *impl_;
    for (ItemHead* item : d.items)
        if (item) d.FreeItem(item);
    d.items.clear();
    d.items.shrink_to_fit();
    d.refs.clear();
    d.refs.shrink_to_fit();
    d.next.clear();
    d.next.shrink_to_fit();
    d.hashes.clear();
    d.hashes.shrink_to_fit();
    d.freeSlots.clear();
    d.ClearHash();
}

void TWbDataSST::RebuildHash() {
    Impl& d = *impl_;
    d.ClearHash();
    size_t plain = 0;
    for (const ItemHead* item : d.items)
        if (item && !(item->Options & kOptRuns)) ++plain;
    size_t bucketCount = kMinBuckets;
    while (bucketCount < plain) bucketCount *= 2;
    d.buckets.assign(bucketCount, kEndOfChain);
    // In index order, so that of equal texts the highest index stands first.
    for (size_t i = 0; i < d.items.size(); ++i) {
        const ItemHead* item = d.items[i];
        if (item && !(item->Options & kOptRuns)) d.AddToHash(static_cast<int32_t>(i), HashItem(item));
    }
    d.hashBuilt = true;
}

int32_t TWbDataSST::Count() const { return static_cast<int32_t>(impl_->items.size()); }

int32_t TWbDataSST::FreeSlots() const { return static_cast<int32_t>(impl_->freeSlots.size()); }

} // namespace tessaly
