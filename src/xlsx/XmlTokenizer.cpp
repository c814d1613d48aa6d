#include "xlsx/XmlTokenizer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "core/AsciiCase.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/Stream.h"
#include "core/Utf.h"
#include "xlsx/ReadAheadStream.h"
#include "xlsx/XmlValues.h"

namespace tessaly {

namespace {

std::atomic<uint64_t> gScanAheadMinimum{2u << 20};

[[noreturn]] void UnexpectedEnd() { throw Exception("Unexcpected end of file in XML"); }

} // namespace

uint64_t ScanAheadMinimum() { return gScanAheadMinimum.load(); }
void SetScanAheadMinimum(uint64_t bytes) { gScanAheadMinimum.store(bytes); }

// ---------------------------------------------------------------------------------------------

std::string_view TXmlAttributeList::AttrPrefix(int index) const {
    const std::string_view name = AttrName(index);
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

std::string_view TXmlAttributeList::AttrLocalName(int index) const {
    const std::string_view name = AttrName(index);
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

uint32_t TXmlAttributeList::AttrNameSum(int index) const {
    uint32_t sum = 0;
    for (char c : AttrName(index)) sum += static_cast<uint8_t>(c);
    return sum;
}

void TXmlAttributeList::Decode(TXmlRawAttribute& a) {
    a.ValueLength = static_cast<uint32_t>(DecodeXmlEntities(a.Value, a.ValueLength));
    a.Decoded = true;
}

std::u16string TXmlAttributeList::AttrValue(int index) { return Utf8ToUtf16(AttrValueUtf8(index)); }

std::string TXmlAttributeList::AttrAsText(int index) {
    std::string text(AttrName(index));
    text += "=\"";
    text += AttrValueUtf8(index);
    text += '"';
    return text;
}

std::string_view TXmlAttributeList::AttrNamespace(int index) const {
    const std::string_view prefix = AttrPrefix(index);
    if (prefix.empty() || !owner_) return {};
    return owner_->NamespaceOf(prefix);
}

int TXmlAttributeList::IndexOf(std::string_view name) const {
    for (int i = 0; i < count_; ++i)
        if (AttrName(i) == name) return i;
    return -1;
}

int64_t TXmlAttributeList::AttrInt(int index, int64_t defaultValue) {
    int64_t value;
    return ParseXmlInt(AttrValueUtf8(index), value) ? value : defaultValue;
}

bool TXmlAttributeList::AttrBool(int index, bool defaultValue) {
    return ParseXmlBool(AttrValueUtf8(index), defaultValue);
}

double TXmlAttributeList::AttrDouble(int index) {
    double value;
    return ParseXmlDouble(AttrValueUtf8(index), value) ? value : 0.0;
}

// ---------------------------------------------------------------------------------------------

TXmlTokenizer::TXmlTokenizer() { attributes_.owner_ = this; }
TXmlTokenizer::~TXmlTokenizer() = default;

void TXmlTokenizer::FoldNamespace(std::string_view uri) { folded_.emplace_back(uri); }

std::string_view TXmlTokenizer::NamespaceOf(std::string_view prefix) const {
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
        if (it->prefix == prefix) return it->uri;
    if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
    return {};
}

std::string_view TXmlTokenizer::QualifiedName() const { return {qualified_, qualifiedLength_}; }

std::string_view TXmlTokenizer::TextUtf8() {
    if (!hasText_) return {};
    if (!textDecoded_) {
        textLength_ = DecodeXmlEntities(text_, textLength_);
        textDecoded_ = true;
    }
    return {text_, textLength_};
}

std::u16string TXmlTokenizer::Text() {
    std::u16string text;
    AppendText(text);
    return text;
}

void TXmlTokenizer::AppendText(std::u16string& out) { AppendUtf8ToUtf16(TextUtf8(), out); }

void TXmlTokenizer::ProcessingInstruction() {
    if (QualifiedName() != "xml") return;
    const int index = attributes_.IndexOf("encoding");
    if (index < 0) return;
    const std::string_view encoding = attributes_.AttrValueUtf8(index);
    if (!EqualsIgnoringAsciiCase(encoding, "utf-8"))
        throw Exception(Format("Unsupported encoding of xml: \"%.*s\". Must be utf-8", static_cast<int>(encoding.size()),
                               encoding.data()));
}

// Namespace declarations in scope are few in real documents; more than this are not taken (so that
// looking a prefix up stays cheap whatever a document declares).
constexpr size_t kMaxNamespaces = 256;

void TXmlTokenizer::DeclareNamespaces() {
    for (int i = 0; i < attributes_.count_ && namespaces_.size() < kMaxNamespaces; ++i) {
        const TXmlRawAttribute& a = attributes_.items_[i];
        if (a.NameLength < 5 || std::memcmp(a.Name, "xmlns", 5) != 0) continue;
        std::string prefix;
        if (a.NameLength > 6 && a.Name[5] == ':') prefix.assign(a.Name + 6, a.NameLength - 6);
        else if (a.NameLength != 5) continue;
        const std::string_view uri = attributes_.AttrValueUtf8(i);
        const bool folded = std::find(folded_.begin(), folded_.end(), uri) != folded_.end();
        namespaces_.push_back({std::move(prefix), std::string(uri), depth_, folded});
    }
}

void TXmlTokenizer::ResolveElementPrefix() {
    const std::string_view prefix = Prefix();
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) {
        if (it->prefix != prefix) continue;
        if (it->folded) {
            prefix_ = local_;
            prefixLength_ = 0;
            qualified_ = local_;
            qualifiedLength_ = localLength_;
            nameSum_ = nameSumLocal_;
        }
        return;
    }
}

void TXmlTokenizer::SetName(const TXmlEvent& e, char* base) {
    char* name = base + e.NameOffset;
    qualified_ = name;
    qualifiedLength_ = e.NameLength;
    prefix_ = name;
    nameSum_ = e.NameSum;
    nameSumLocal_ = e.LocalSum;
    if (e.Colon == UINT32_MAX) {
        prefixLength_ = 0;
        local_ = name;
        localLength_ = e.NameLength;
    } else {
        prefixLength_ = e.Colon;
        local_ = name + e.Colon + 1;
        localLength_ = e.NameLength - e.Colon - 1;
    }
}

void TXmlTokenizer::DispatchStart() {
    ++depth_;
    sawRoot_ = true;
    if (sawXmlns_) DeclareNamespaces();
    if (prefixLength_ > 0) ResolveElementPrefix();
    BeginTag();
    if (closed_) {
        hasText_ = false;
        attributes_.count_ = 0;
        EndTag();
        while (!namespaces_.empty() && namespaces_.back().depth >= depth_) namespaces_.pop_back();
        --depth_;
    }
}

void TXmlTokenizer::DispatchEnd() {
    if (depth_ == 0) return;   // an end tag without a start tag
    if (prefixLength_ > 0) ResolveElementPrefix();
    hasText_ = false;
    attributes_.count_ = 0;
    EndTag();
    while (!namespaces_.empty() && namespaces_.back().depth >= depth_) namespaces_.pop_back();
    --depth_;
}

// Delivers the events of one chunk; a scanning failure recorded after them is raised.
bool TXmlTokenizer::Dispatch(TXmlChunk& chunk) {
    char* const base = chunk.Buffer.get();
    TXmlRawAttribute* const attributes = chunk.Attributes.data();
    for (const TXmlEvent& e : chunk.Events) {
        if (stop_) return false;
        SetName(e, base);
        switch (e.Kind) {
        case TXmlEventKind::Start:
            attributes_.items_ = attributes + e.FirstAttribute;
            attributes_.count_ = static_cast<int>(e.AttributeCount);
            hasText_ = e.HasText;
            textDecoded_ = e.TextDecoded;
            text_ = (e.TextInArena ? chunk.Arena.data() : base) + e.TextOffset;
            textLength_ = e.TextLength;
            emptyElement_ = e.Empty;
            closed_ = e.Empty || e.Closed;
            sawXmlns_ = e.Xmlns;
            DispatchStart();
            break;
        case TXmlEventKind::End:
            DispatchEnd();
            break;
        case TXmlEventKind::Instruction:
            attributes_.items_ = attributes + e.FirstAttribute;
            attributes_.count_ = static_cast<int>(e.AttributeCount);
            hasText_ = false;
            ProcessingInstruction();
            break;
        case TXmlEventKind::Comment:
            comment_ = std::string_view(base + e.TextOffset, e.TextLength);
            Comment();
            break;
        }
    }
    if (chunk.Error) std::rethrow_exception(chunk.Error);
    return !stop_;
}

void TXmlTokenizer::Finish() {
    if (!stop_ && (depth_ != 0 || !sawRoot_)) UnexpectedEnd();
}

int64_t TXmlTokenizer::Parse(TStream& input) {
    taken_ = 0;
    depth_ = 0;
    sawRoot_ = false;
    namespaces_.clear();
    attributes_.count_ = 0;
    hasText_ = false;
    const int64_t size = input.Size();
    if (size >= 0 && static_cast<uint64_t>(size) >= ScanAheadMinimum() && std::thread::hardware_concurrency() > 1)
        ParseAhead(input);
    else
        ParseHere(input);
    return taken_;
}

// Scanning and dispatching take turns on this thread.
void TXmlTokenizer::ParseHere(TStream& input) {
    TXmlScanner scanner(input);
    TXmlChunk chunk;
    for (;;) {
        scanner.Fill(chunk);
        taken_ = scanner.Taken();
        if (!Dispatch(chunk)) return;
        if (chunk.Last) break;
    }
    Finish();
}

// The scanner runs on a worker thread a few chunks ahead (reading the stream, which inflates
// the part, is its job too); the events are dispatched here in document order.
struct TXmlTokenizer::ReadAhead {
    static constexpr int kChunks = 16;
    TXmlChunk chunks[kChunks];
    std::mutex lock;
    std::condition_variable changed;
    int ready[kChunks];          // filled chunks in order
    int readyCount = 0;
    int freeList[kChunks];
    int freeCount = 0;
    bool stop = false;
    int64_t taken = 0;
    std::thread worker;

    void Run(TStream& input) {
        TXmlScanner scanner(input);
        for (;;) {
            int index;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return stop || freeCount > 0; });
                if (stop) return;
                index = freeList[--freeCount];
            }
            scanner.Fill(chunks[index]);
            const bool last = chunks[index].Last;
            std::lock_guard<std::mutex> guard(lock);
            ready[readyCount++] = index;
            taken = scanner.Taken();
            changed.notify_all();
            if (last) return;
        }
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> guard(lock);
            stop = true;
            changed.notify_all();
        }
        if (worker.joinable()) worker.join();
    }
};

void TXmlTokenizer::ParseAhead(TStream& input) {
    // A stream in memory costs nothing to read; any other (an inflating ZIP entry) is read on a
    // third thread, so that reading, scanning and dispatching overlap.
    std::optional<TReadAheadStream> readAhead;
    TStream* source = &input;
    if (input.Contiguous().empty()) source = &readAhead.emplace(input);
    ReadAhead ahead;
    for (int i = 0; i < ReadAhead::kChunks; ++i) ahead.freeList[i] = i;
    ahead.freeCount = ReadAhead::kChunks;
    ahead.worker = std::thread([&] { ahead.Run(*source); });
    struct Joiner {
        ReadAhead& ahead;
        ~Joiner() { ahead.Stop(); }
    } joiner{ahead};
    for (;;) {
        int index;
        {
            std::unique_lock<std::mutex> guard(ahead.lock);
            ahead.changed.wait(guard, [&] { return ahead.readyCount > 0; });
            index = ahead.ready[0];
            std::copy(ahead.ready + 1, ahead.ready + ahead.readyCount, ahead.ready);
            --ahead.readyCount;
            taken_ = ahead.taken;
        }
        TXmlChunk& chunk = ahead.chunks[index];
        if (!Dispatch(chunk)) return;
        const bool last = chunk.Last;
        {
            std::lock_guard<std::mutex> guard(ahead.lock);
            ahead.freeList[ahead.freeCount++] = index;
            ahead.changed.notify_all();
        }
        if (last) break;
    }
    Finish();
}

} // namespace tessaly
