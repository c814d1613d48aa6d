#include "xlsx/XLSPackage.h"

#include <algorithm>

#include "core/AsciiCase.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "xlsx/OPCDocuments.h"

namespace tessaly {

namespace {

// Relationship trees deeper than this are not followed (real packages are a few levels deep).
constexpr int kMaxRelationshipDepth = 64;

// Resolves "." and ".." segments and empty segments; ".." at the top stays at the top.
std::string NormalizePath(std::string_view path) {
    std::vector<std::string_view> segments;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view segment = path.substr(start, slash - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto& segment : segments) {
        if (!result.empty()) result += '/';
        result += segment;
    }
    return result;
}

std::string PercentDecode(std::string_view text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            result += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace

std::string opc::NormalizeRelationshipType(std::string_view type) {
    if (type.substr(0, kStrictRelationshipsBase.size()) == kStrictRelationshipsBase)
        return std::string(kRelationshipsBase) + std::string(type.substr(kStrictRelationshipsBase.size()));
    return std::string(type);
}

// ---------------------------------------------------------------------------------------------

TOPCItem& TOPCItem::AddChild(std::string_view id) {
    auto child = std::make_unique<TOPCItem>();
    child->Container = Container;
    child->Parent = this;
    child->Index = static_cast<int>(children_.size());
    child->Id = id;
    byId_[LowerAscii(id)] = child.get();
    children_.push_back(std::move(child));
    return *children_.back();
}

TOPCItem* TOPCItem::FindChild(std::string_view id) const {
    const auto it = byId_.find(LowerAscii(id));
    return it == byId_.end() ? nullptr : it->second;
}

std::vector<TOPCItem*> TOPCItem::ChildrenOfType(std::string_view type) const {
    std::vector<TOPCItem*> found;
    for (const auto& child : children_)
        if (child->Type == type) found.push_back(child.get());
    return found;
}

void TOPCItem::Clear() {
    children_.clear();
    byId_.clear();
    OpenState = 0;
    Consumed = false;
}

// ---------------------------------------------------------------------------------------------

void TOPC_ContentTypes::Reset() {
    items_.clear();
    static const char* const kBuiltIn[8][2] = {
        {"rels", "application/vnd.openxmlformats-package.relationships+xml"},
        {"xml", "application/xml"},
        {"vml", "application/vnd.openxmlformats-officedocument.vmlDrawing"},
        {"bin", "application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings"},
        {"jpeg", "image/jpeg"},
        {"png", "image/png"},
        {"wmf", "image/x-wmf"},
        {"emf", "image/x-emf"},
    };
    for (const auto& entry : kBuiltIn) items_.push_back({true, entry[0], entry[1]});
}

void TOPC_ContentTypes::AddDefault(std::string_view extension, std::string_view contentType) {
    for (const auto& item : items_)
        if (item.IsDefault && item.Key == extension) return;
    items_.push_back({true, std::string(extension), std::string(contentType)});
}

void TOPC_ContentTypes::AddOverride(std::string_view partName, std::string_view contentType) {
    std::string key(partName);
    if (key.empty() || key[0] != '/') key.insert(key.begin(), '/');
    for (const auto& item : items_)
        if (!item.IsDefault && item.Key == key) return;
    items_.push_back({false, std::move(key), std::string(contentType)});
}

std::string_view TOPC_ContentTypes::OverrideOf(std::string_view partName) const {
    for (const auto& item : items_)
        if (!item.IsDefault && item.Key == partName) return item.ContentType;
    return {};
}

// ---------------------------------------------------------------------------------------------

TOPCContainer::TOPCContainer() {
    root_.Container = this;
    root_.Type = "__ROOT__";
}

TOPCContainer::~TOPCContainer() = default;

void TOPCContainer::OpenPackage(TStream& stream, bool useAlternateZip) {
    if (mode_ != 0) throw Exception("OPC is allready open");
    if (useAlternateZip) throw Exception("No alternate Zip defined.");
    archive_ = std::make_unique<TXLSZipArchiveIntfXLS>();
    root_.Clear();
    contentTypes_.Reset();
    loadedParts_.clear();
    mode_ = 1;
    archive_->OpenRead(stream);
    ReadContentTypes();
    LoadRelationships(root_, 0);
}

void TOPCContainer::ClosePackage() { mode_ = 0; }

void TOPCContainer::ReadContentTypes() {
    auto stream = archive_->OpenEntry("[Content_Types].xml");
    TXmlDocContentType document;
    document.Parse(*stream);
    for (size_t i = 0; i < document.Types.Defaults.Count(); ++i)
        contentTypes_.AddDefault(document.Types.Defaults[i].Extension, document.Types.Defaults[i].ContentType);
    for (size_t i = 0; i < document.Types.Overrides.Count(); ++i)
        contentTypes_.AddOverride(document.Types.Overrides[i].PartName, document.Types.Overrides[i].ContentType);
}

// A node's relationships live in "<folder>/_rels/<name>.rels". Every part is loaded once, so
// relationships that lead back to a part already in the tree end there.
void TOPCContainer::LoadRelationships(TOPCItem& item, int depth) {
    if (item.TargetMode == 0 || depth > kMaxRelationshipDepth) return;
    const std::string partName = PartName(item);
    if (!loadedParts_.insert(LowerAscii(partName)).second) return;
    const size_t slash = partName.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : partName.substr(0, slash);
    std::string relsName = Format("%s/_rels/%s.rels", folder.c_str(), item.Name.c_str());
    if (!relsName.empty() && relsName[0] == '/') relsName.erase(0, 1);
    if (archive_->IndexOfEntry(relsName) < 0) return;
    TXmlDocOPC document;
    {
        auto stream = archive_->OpenEntry(relsName);
        document.Parse(*stream);
    }
    for (size_t i = 0; i < document.Relationships.Items.Count(); ++i) {
        const TCT_Relationship& relationship = document.Relationships.Items[i];
        TOPCItem& child = item.AddChild(relationship.Id);
        child.TargetMode = relationship.External ? 0 : 1;
        child.Type = opc::NormalizeRelationshipType(relationship.Type);
        child.Text = relationship.Text;
        if (relationship.External) {
            child.Name = relationship.Target;
        } else {
            std::string target = relationship.Target;
            std::replace(target.begin(), target.end(), '\\', '/');
            const size_t last = target.rfind('/');
            if (last == std::string::npos) {
                child.Name = target;
            } else {
                child.Folder = target.substr(0, last);
                child.Name = target.substr(last + 1);
                if (child.Folder.empty()) child.Folder.assign(1, '/');   // "/name": absolute, in the root
            }
        }
    }
    for (int i = 0; i < item.ChildCount(); ++i) LoadRelationships(item.Child(i), depth + 1);
}

// Absolute targets are taken from the package root, relative ones from the folder of the part
// whose relationships name them; "." and ".." segments are resolved.
std::string TOPCContainer::PartName(const TOPCItem& item) const {
    if (!item.Parent) return std::string();
    std::string path;
    if (!item.Folder.empty() && item.Folder[0] == '/') {
        path = item.Folder + "/" + item.Name;
    } else {
        const std::string base = PartName(*item.Parent);
        const size_t slash = base.rfind('/');
        path = slash == std::string::npos ? std::string() : base.substr(0, slash);
        if (!item.Folder.empty()) path += "/" + item.Folder;
        path += "/" + item.Name;
    }
    return NormalizePath(path);
}

std::unique_ptr<TStream> TOPCContainer::OpenItem(TOPCItem& item, bool keepOpen) {
    item.OpenState = 1;
    const std::string name = PartName(item);
    std::unique_ptr<TStream> stream;
    if (archive_->IndexOfEntry(name) < 0 && name.find('%') != std::string::npos &&
        archive_->IndexOfEntry(PercentDecode(name)) >= 0)
        stream = archive_->OpenEntry(PercentDecode(name));
    else
        stream = archive_->OpenEntry(name);
    if (MarkConsumed) item.Consumed = true;
    if (!keepOpen) CloseItem(item);
    return stream;
}

void TOPCContainer::CloseItem(TOPCItem& item) {
    if (item.OpenState != 1 && item.OpenState != 2) throw Exception("Close on not open OPC Item.");
    item.OpenState = 0;
}

TOPCItem* TOPCContainer::SingleChildOfType(TOPCItem& item, std::string_view type) {
    const auto found = item.ChildrenOfType(type);
    if (found.empty()) return nullptr;
    if (found.size() > 1)
        throw Exception(Format("OPC: only one item of type %.*s excpected", static_cast<int>(type.size()), type.data()));
    return found[0];
}

// ---------------------------------------------------------------------------------------------

void TOPC_XLSX::OpenPackage(TStream& stream, bool useAlternateZip) {
    workbook_ = nullptr;
    sheet_ = nullptr;
    TOPCContainer::OpenPackage(stream, useAlternateZip);
    const auto documents = Root().ChildrenOfType(opc::kOfficeDocument);
    if (documents.empty()) throw Exception("Can not find workbook in OPC");
    if (documents.size() > 1) throw Exception("More than one workbook in OPC");
    workbook_ = documents[0];
    for (TOPCItem* calcChain : Root().ChildrenOfType(opc::kCalcChain)) calcChain->Consumed = true;
}

void TOPC_XLSX::ClosePackage() {
    TOPCContainer::ClosePackage();
    workbook_ = nullptr;
    sheet_ = nullptr;
}

std::unique_ptr<TStream> TOPC_XLSX::SingleChildStream(TOPCItem* item, std::string_view type) {
    if (!item) return nullptr;
    TOPCItem* child = SingleChildOfType(*item, type);
    return child ? OpenItem(*child) : nullptr;
}

std::unique_ptr<TStream> TOPC_XLSX::WorkbookStream() { return SingleChildStream(&Root(), opc::kOfficeDocument); }
std::unique_ptr<TStream> TOPC_XLSX::SharedStringsStream() { return SingleChildStream(workbook_, opc::kSharedStrings); }
std::unique_ptr<TStream> TOPC_XLSX::StylesStream() { return SingleChildStream(workbook_, opc::kStyles); }
std::unique_ptr<TStream> TOPC_XLSX::ConnectionsStream() { return SingleChildStream(workbook_, opc::kConnections); }
std::unique_ptr<TStream> TOPC_XLSX::CorePropertiesStream() { return SingleChildStream(&Root(), opc::kCoreProperties); }

std::unique_ptr<TStream> TOPC_XLSX::ContentTypesStream() {
    if (Archive().IndexOfEntry("[Content_Types].xml") < 0) return nullptr;
    return Archive().OpenEntry("[Content_Types].xml");
}

std::unique_ptr<TStream> TOPC_XLSX::WorksheetStream(std::string_view relId) {
    return SheetStream(relId, opc::kWorksheet);
}

std::unique_ptr<TStream> TOPC_XLSX::SheetStream(std::string_view relId, std::string_view type) {
    TOPCItem* item = workbook_ ? workbook_->FindChild(relId) : nullptr;
    if (!item) throw Exception("Can not find worksheet in OPC");
    if (item->Type != type)
        throw Exception(Format("OPC Item is not of excpected type \"%.*s\"", static_cast<int>(type.size()), type.data()));
    if (sheet_ && sheet_->OpenState != 0) CloseItem(*sheet_);
    sheet_ = item;
    return OpenItem(*item, true);
}

bool TOPC_XLSX::IsChartsheet(std::string_view relId) {
    TOPCItem* item = workbook_ ? workbook_->FindChild(relId) : nullptr;
    return item && item->Type == opc::kChartsheet;
}

std::string TOPC_XLSX::SheetType(std::string_view relId) {
    TOPCItem* item = workbook_ ? workbook_->FindChild(relId) : nullptr;
    return item ? item->Type : std::string();
}

std::string TOPC_XLSX::SheetPartName(std::string_view relId) {
    TOPCItem* item = workbook_ ? workbook_->FindChild(relId) : nullptr;
    return item ? PartName(*item) : std::string();
}

std::unique_ptr<TStream> TOPC_XLSX::CommentsStream(std::string_view relId) {
    return SingleChildStream(workbook_ ? workbook_->FindChild(relId) : nullptr, opc::kComments);
}

void TOPC_XLSX::CloseSheet() {
    if (sheet_ && sheet_->OpenState != 0) CloseItem(*sheet_);
    sheet_ = nullptr;
}

} // namespace tessaly
