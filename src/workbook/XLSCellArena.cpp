#include "workbook/XLSCellArena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Under AddressSanitizer the chunks' free parts and given-up spaces are marked unaddressable,
// and spaces are cut with a gap between them, so that the sanitizer sees a read or write beyond
// a buffer as it would for one from malloc.
#if defined(__SANITIZE_ADDRESS__)
#define TESSALY_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSALY_ARENA_ASAN 1
#endif
#endif
#if defined(TESSALY_ARENA_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace tessaly::cellcode {

namespace {

#if defined(TESSALY_ARENA_ASAN)
constexpr size_t kGap = 32;
void Poison(const uint8_t* p, size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
void Unpoison(const uint8_t* p, size_t n) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
#else
constexpr size_t kGap = 0;
void Poison(const uint8_t*, size_t) {}
void Unpoison(const uint8_t*, size_t) {}
#endif

constexpr size_t kFirstChunk = size_t{32} << 10;
constexpr size_t kLargestChunk = size_t{8} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

// A chunk of at least 2 MiB comes straight from the system, aligned to 2 MiB and marked for
// huge pages; smaller ones (and every chunk elsewhere) from the C heap.
uint8_t* MapHuge(size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t{kHugePage - 1};
    if (aligned > start) munmap(raw, aligned - start);
    const uintptr_t end = start + size + kHugePage;
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);   // a hint: failing is fine
    return reinterpret_cast<uint8_t*>(aligned);
#else
    (void)size;
    return nullptr;
#endif
}

} // namespace

CellArena::~CellArena() { Clear(); }

void CellArena::Release(Chunk& chunk) {
    Unpoison(chunk.Base, chunk.Size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (chunk.Mapped) {
        munmap(chunk.Base, chunk.Size);
        chunk.Base = nullptr;
        return;
    }
#endif
    std::free(chunk.Base);
    chunk.Base = nullptr;
}

size_t CellArena::HeldBytes() const {
    size_t held = 0;
    for (const Chunk& chunk : chunks_) held += chunk.Size;
    return held;
}

size_t CellArena::ChunkOf(const uint8_t* p) const {
    // The last chunk whose base is not above p.
    const auto it = std::upper_bound(chunks_.begin(), chunks_.end(), p,
                                     [](const uint8_t* q, const Chunk& c) { return q < c.Base; });
    return static_cast<size_t>(it - chunks_.begin()) - 1;
}

void CellArena::NewChunk(size_t atLeast) {
    if (nextSize_ == 0) nextSize_ = kFirstChunk;
    size_t size = std::max(nextSize_, atLeast);
    if (nextSize_ < kLargestChunk) nextSize_ *= 4;
    Chunk chunk;
    if (size >= kHugePage) {
        size = (size + kHugePage - 1) & ~(kHugePage - 1);
        chunk.Base = MapHuge(size);
        chunk.Mapped = chunk.Base != nullptr;
    }
    if (!chunk.Base) chunk.Base = static_cast<uint8_t*>(std::malloc(size));
    if (!chunk.Base) throw std::bad_alloc();
    chunk.Size = size;
    Poison(chunk.Base, size);
    try {
        chunks_.reserve(chunks_.size() + 1);
    } catch (...) {
        Release(chunk);
        throw;
    }

    // The chunk cut from so far is given up when nothing in it is in use any more.
    if (!chunks_.empty() && chunks_[current_].Live == 0) {
        Release(chunks_[current_]);
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(current_));
    }
    const auto at = std::upper_bound(chunks_.begin(), chunks_.end(), chunk.Base,
                                     [](const uint8_t* q, const Chunk& c) { return q < c.Base; });
    current_ = static_cast<size_t>(at - chunks_.begin());
    chunks_.insert(at, chunk);   // room reserved above
}

void CellArena::Clear() {
    for (Chunk& chunk : chunks_) Release(chunk);
    chunks_.clear();
    current_ = 0;
    nextSize_ = 0;
    live_ = 0;
}

uint8_t* CellArena::Allocate(size_t size) {
    const size_t rounded = Round(size);
    if (chunks_.empty() || chunks_[current_].Size - chunks_[current_].Used < rounded + kGap)
        NewChunk(rounded + kGap);
    Chunk& chunk = chunks_[current_];
    chunk.Used += kGap;
    uint8_t* p = chunk.Base + chunk.Used;
    chunk.Used += rounded;
    chunk.Live += rounded;
    live_ += rounded;
    Unpoison(p, size);
    return p;
}

size_t CellArena::RoomAfter(const uint8_t* p, size_t size) const {
    if (chunks_.empty() || !p) return 0;
    const Chunk& chunk = chunks_[current_];
    if (p + Round(size) != chunk.Base + chunk.Used) return 0;
    return chunk.Size - chunk.Used + (Round(size) - size);
}

bool CellArena::GrowInPlace(uint8_t* p, size_t size, size_t newSize) {
    if (newSize <= size) return true;
    if (RoomAfter(p, size) < newSize - size) return false;
    const size_t grown = Round(newSize) - Round(size);
    Chunk& chunk = chunks_[current_];
    chunk.Used += grown;
    chunk.Live += grown;
    live_ += grown;
    Unpoison(p + size, newSize - size);
    return true;
}

void CellArena::Shrink(uint8_t* p, size_t size, size_t newSize) {
    if (!p || newSize >= size) return;
    Poison(p + newSize, size - newSize);
    const size_t given = Round(size) - Round(newSize);
    if (given == 0) return;
    const size_t index = ChunkOf(p);
    Chunk& chunk = chunks_[index];
    chunk.Live -= given;
    live_ -= given;
    if (p + Round(size) == chunk.Base + chunk.Used) chunk.Used -= given;   // the end of the chunk
    if (chunk.Live > 0) return;
    if (index == current_) {
        chunk.Used = 0;
        return;
    }
    Release(chunk);
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(index));
    if (current_ > index) --current_;
}

} // namespace tessaly::cellcode
