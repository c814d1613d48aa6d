#include "ZipBuilder.h"

#include <stdexcept>

#include <zlib.h>

namespace tessaly::test {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}
void PutBytes(std::vector<uint8_t>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

} // namespace

std::string Deflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

ZipBuilder& ZipBuilder::Add(std::string name, std::string data, ZipEntryOptions options) {
    entries_.push_back({std::move(name), std::move(data), std::move(options)});
    return *this;
}

std::vector<uint8_t> ZipBuilder::Build(const ZipBuildOptions& build) const {
    std::vector<uint8_t> out;
    std::vector<uint8_t> central;
    for (const Entry& e : entries_) {
        const ZipEntryOptions& o = e.options;
        const std::string payload = o.deflate ? Deflate(e.data) : e.data;
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const uint64_t size = o.claimedSize >= 0 ? static_cast<uint64_t>(o.claimedSize) : e.data.size();
        const uint16_t method = static_cast<uint16_t>(o.method >= 0 ? o.method : (o.deflate ? 8 : 0));
        const uint16_t flags = o.descriptor ? 8 : 0;
        const uint64_t offset = out.size();
        std::string zip64Extra;
        if (o.zip64) {
            std::vector<uint8_t> x;
            Put16(x, 1);
            Put16(x, 24);
            Put64(x, size);
            Put64(x, payload.size());
            Put64(x, offset);
            zip64Extra.assign(x.begin(), x.end());
        }
        // Local header.
        Put32(out, 0x04034B50);
        Put16(out, o.zip64 ? 45 : 20);
        Put16(out, flags);
        Put16(out, method);
        Put32(out, 0x58210000);   // 2024-01-01 00:00
        Put32(out, o.descriptor ? 0 : crc);
        Put32(out, o.descriptor ? 0 : (o.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(payload.size())));
        Put32(out, o.descriptor ? 0 : (o.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(size)));
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, static_cast<uint32_t>(o.descriptor ? 0 : zip64Extra.size()));
        PutBytes(out, e.name);
        if (!o.descriptor) PutBytes(out, zip64Extra);
        PutBytes(out, payload);
        if (o.descriptor) {
            Put32(out, 0x08074B50);
            Put32(out, crc);
            Put32(out, static_cast<uint32_t>(payload.size()));
            Put32(out, static_cast<uint32_t>(size));
        }
        // Central directory record.
        const std::string& centralName = o.centralName.empty() ? e.name : o.centralName;
        Put32(central, 0x02014B50);
        Put16(central, 20);
        Put16(central, o.zip64 ? 45 : 20);
        Put16(central, flags);
        Put16(central, method);
        Put32(central, 0x58210000);
        Put32(central, crc);
        Put32(central, o.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(payload.size()));
        Put32(central, o.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(size));
        Put16(central, static_cast<uint32_t>(centralName.size()));
        Put16(central, static_cast<uint32_t>(zip64Extra.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, o.zip64 ? 0xFFFFFFFF
                                : static_cast<uint32_t>(o.centralOffset >= 0 ? static_cast<uint64_t>(o.centralOffset) : offset));
        PutBytes(central, centralName);
        PutBytes(central, zip64Extra);
    }
    if (!build.centralDirectory) {
        PutBytes(out, build.comment);
        return out;
    }
    const uint64_t directoryOffset = out.size();
    out.insert(out.end(), central.begin(), central.end());
    const uint64_t recordedOffset = directoryOffset + static_cast<uint64_t>(build.directoryOffsetDelta);
    if (build.zip64EndRecords) {
        const uint64_t endOffset = out.size();
        Put32(out, 0x06064B50);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, entries_.size());
        Put64(out, entries_.size());
        Put64(out, central.size());
        Put64(out, recordedOffset);
        Put32(out, 0x07064B50);
        Put32(out, 0);
        Put64(out, endOffset);
        Put32(out, 1);
    }
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, build.zip64EndRecords ? 0xFFFF : static_cast<uint32_t>(entries_.size()));
    Put16(out, build.zip64EndRecords ? 0xFFFF : static_cast<uint32_t>(entries_.size()));
    Put32(out, build.zip64EndRecords ? 0xFFFFFFFF : static_cast<uint32_t>(central.size()));
    Put32(out, build.zip64EndRecords ? 0xFFFFFFFF : static_cast<uint32_t>(recordedOffset));
    Put16(out, static_cast<uint32_t>(build.comment.size()));
    PutBytes(out, build.comment);
    return out;
}

} // namespace tessaly::test
