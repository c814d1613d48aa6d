#pragma once
// An Open Packaging Conventions package over a ZIP archive: the content-type list, the tree of
// parts tied together by relationship parts, part-name resolution, and the part streams the
// SpreadsheetML reader asks for. Relationship types of Strict packages are read as their
// transitional equivalents.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "xlsx/XLSZip.h"

namespace tessaly {

namespace opc {

inline constexpr std::string_view kRelationshipsBase =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
inline constexpr std::string_view kStrictRelationshipsBase = "http://purl.oclc.org/ooxml/officeDocument/relationships/";

inline constexpr std::string_view kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr std::string_view kSharedStrings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
inline constexpr std::string_view kStyles = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kWorksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr std::string_view kChartsheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet";
inline constexpr std::string_view kDialogsheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/dialogsheet";
inline constexpr std::string_view kMacrosheet = "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet";
inline constexpr std::string_view kIntlMacrosheet =
    "http://schemas.microsoft.com/office/2006/relationships/xlIntlMacrosheet";
inline constexpr std::string_view kCalcChain =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain";
inline constexpr std::string_view kConnections =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/connections";
inline constexpr std::string_view kComments =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr std::string_view kCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";

// The transitional type for a Strict one; any other type as it stands.
std::string NormalizeRelationshipType(std::string_view type);

} // namespace opc

class TOPCContainer;

// One node of the relationship tree; the package root is a node too.
class TOPCItem {
public:
    TOPCContainer* Container = nullptr;
    TOPCItem* Parent = nullptr;
    int Index = -1;                     // position among the parent's children
    int OpenState = 0;                  // 0 closed, 1 open for reading
    std::string Id;
    std::string Folder;                 // target before its last "/"
    std::string Name;                   // target after its last "/" (external: the whole target)
    std::string Type;                   // relationship type, Strict types made transitional
    int TargetMode = 1;                 // 1 internal, 0 external
    std::string Text;                   // text content of the Relationship element (kept only)
    bool Consumed = false;

    int ChildCount() const { return static_cast<int>(children_.size()); }
    TOPCItem& Child(int index) { return *children_[static_cast<size_t>(index)]; }
    TOPCItem& AddChild(std::string_view id);
    // The child with this id, compared ignoring letter case (the later of two equal ids).
    TOPCItem* FindChild(std::string_view id) const;
    std::vector<TOPCItem*> ChildrenOfType(std::string_view type) const;
    void Clear();

private:
    std::vector<std::unique_ptr<TOPCItem>> children_;
    std::unordered_map<std::string, TOPCItem*> byId_;
};

struct TOPC_ContentType {
    bool IsDefault = true;   // a Default (by extension) or an Override (by part name)
    std::string Key;         // extension, or part name starting with "/"
    std::string ContentType;
};

// The content-type list; it always begins with eight built-in defaults.
class TOPC_ContentTypes {
public:
    TOPC_ContentTypes() { Reset(); }
    void Reset();
    void AddDefault(std::string_view extension, std::string_view contentType);    // first one wins
    void AddOverride(std::string_view partName, std::string_view contentType);    // first one wins
    const std::vector<TOPC_ContentType>& Items() const { return items_; }
    std::string_view OverrideOf(std::string_view partName) const;

private:
    std::vector<TOPC_ContentType> items_;
};

class TOPCContainer {
public:
    TOPCContainer();
    virtual ~TOPCContainer();

    virtual void OpenPackage(TStream& stream, bool useAlternateZip);
    virtual void ClosePackage();

    int Mode() const { return mode_; }
    TOPCItem& Root() { return root_; }
    TOPC_ContentTypes& ContentTypes() { return contentTypes_; }
    TXLSZipArchiveIntf& Archive() { return *archive_; }
    bool MarkConsumed = true;

    // The archive entry name of a node's part.
    std::string PartName(const TOPCItem& item) const;
    // Hands out a stream over the node's part, marking it consumed.
    std::unique_ptr<TStream> OpenItem(TOPCItem& item, bool keepOpen = false);
    void CloseItem(TOPCItem& item);
    // The only child of `item` with that type; nullptr when none, an error when several.
    TOPCItem* SingleChildOfType(TOPCItem& item, std::string_view type);

private:
    void ReadContentTypes();
    void LoadRelationships(TOPCItem& item, int depth);

    int mode_ = 0;
    std::unique_ptr<TXLSZipArchiveIntfXLS> archive_;
    TOPCItem root_;
    TOPC_ContentTypes contentTypes_;
    std::unordered_set<std::string> loadedParts_;
};

class TOPC_XLSX final : public TOPCContainer {
public:
    void OpenPackage(TStream& stream, bool useAlternateZip) override;
    void ClosePackage() override;

    TOPCItem* Workbook() { return workbook_; }

    std::unique_ptr<TStream> WorkbookStream();
    std::unique_ptr<TStream> SharedStringsStream();
    std::unique_ptr<TStream> StylesStream();
    std::unique_ptr<TStream> ConnectionsStream();
    std::unique_ptr<TStream> CorePropertiesStream();
    std::unique_ptr<TStream> ContentTypesStream();
    // The sheet part with that relationship id; it stays open as the current sheet until
    // CloseSheet. "Can not find worksheet in OPC" when no relationship has that id.
    std::unique_ptr<TStream> WorksheetStream(std::string_view relId);
    // The same for the sheet kinds read like worksheets (dialog and macro sheets).
    std::unique_ptr<TStream> SheetStream(std::string_view relId, std::string_view type);
    bool IsChartsheet(std::string_view relId);
    // The (transitional) relationship type of the workbook's child with that id; empty if none.
    std::string SheetType(std::string_view relId);
    // The part name of the workbook's child with that id; empty if none.
    std::string SheetPartName(std::string_view relId);
    std::unique_ptr<TStream> CommentsStream(std::string_view relId);
    void CloseSheet();

private:
    std::unique_ptr<TStream> SingleChildStream(TOPCItem* item, std::string_view type);

    TOPCItem* workbook_ = nullptr;
    TOPCItem* sheet_ = nullptr;
};

} // namespace tessaly
