#pragma once
// Writes small ZIP archives for the reader tests, with the variations real writers produce:
// stored or deflated entries, data descriptors (flag bit 3), ZIP64 fields and end records,
// archive comments, a missing central directory.

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

struct ZipEntryOptions {
    bool deflate = true;
    bool descriptor = false;        // flag bit 3: zero CRC and sizes in the local header
    bool zip64 = false;             // sizes and offset as 0xFFFFFFFF plus a ZIP64 extra field
    int64_t claimedSize = -1;       // uncompressed size to record instead of the real one
    int method = -1;                // compression method to record instead of 0/8
    std::string centralName{};      // name in the central directory when it differs
    int64_t centralOffset = -1;     // local-header offset to record instead of the real one
};

struct ZipBuildOptions {
    std::string comment{};
    bool zip64EndRecords = false;   // ZIP64 end record and locator, ordinary fields saturated
    bool centralDirectory = true;   // false: local headers only (the reader has to scan)
    int64_t directoryOffsetDelta = 0;
};

class ZipBuilder {
public:
    ZipBuilder& Add(std::string name, std::string data, ZipEntryOptions options = {});
    std::vector<uint8_t> Build(const ZipBuildOptions& options = {}) const;

private:
    struct Entry {
        std::string name;
        std::string data;
        ZipEntryOptions options;
    };
    std::vector<Entry> entries_;
};

// Raw deflate (no header) of `data`.
std::string Deflate(const std::string& data);

} // namespace tessaly::test
