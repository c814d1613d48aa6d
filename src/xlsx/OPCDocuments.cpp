#include "xlsx/OPCDocuments.h"

#include "core/AsciiCase.h"

namespace tessaly {

namespace {

// The document root: the expected root element, or a lone child element read and not used.
template <class Root, class Lone>
class TRootElement final : public TXmlElement {
public:
    TRootElement(Root& root, std::string_view rootName, std::string_view loneName)
        : root_(root), rootName_(rootName), loneName_(loneName) {}
    TXmlElement* HandleElement(TXmlDocReader& reader) override {
        const std::string_view name = reader.QualifiedName();
        if (name == rootName_) return &root_;
        if (name == loneName_) {
            lone_ = Lone();
            return &lone_;
        }
        reader.Errors().UnknownElement(name);
        return this;
    }

private:
    Root& root_;
    std::string_view rootName_, loneName_;
    Lone lone_;
};

} // namespace

void TCT_Relationship::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "Id") Id = attributes.AttrValueUtf8(i);
        else if (name == "Type") Type = attributes.AttrValueUtf8(i);
        else if (name == "Target") Target = attributes.AttrValueUtf8(i);
        else if (name == "TargetMode") External = !EqualsIgnoringAsciiCase(attributes.AttrValueUtf8(i), "Internal");
    }
}

TXmlElement* TCT_Relationships::HandleElement(TXmlDocReader& reader) {
    if (reader.QualifiedName() == "Relationship") {
        TCT_Relationship& item = Items.Add();
        item.Text = reader.TextUtf8();
        return &item;
    }
    reader.Errors().UnknownElement(reader.QualifiedName());
    return this;
}

void TXmlDocOPC::Parse(TStream& stream) {
    TRootElement<TCT_Relationships, TCT_Relationship> root(Relationships, "Relationships", "Relationship");
    TXmlErrors errors;
    TXmlDocReader reader(root, errors);
    reader.SetAlwaysHandleAttributes(true);
    reader.Parse(stream);
}

void TCT_Default::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "Extension") Extension = attributes.AttrValueUtf8(i);
        else if (name == "ContentType") ContentType = attributes.AttrValueUtf8(i);
    }
}

void TCT_Override::HandleAttributes(TXmlAttributeList& attributes) {
    for (int i = 0; i < attributes.Count(); ++i) {
        const std::string_view name = attributes.AttrName(i);
        if (name == "PartName") PartName = attributes.AttrValueUtf8(i);
        else if (name == "ContentType") ContentType = attributes.AttrValueUtf8(i);
    }
}

TXmlElement* TCT_Types::HandleElement(TXmlDocReader& reader) {
    const std::string_view name = reader.QualifiedName();
    if (name == "Default") return &Defaults.Add();
    if (name == "Override") return &Overrides.Add();
    reader.Errors().UnknownElement(name);
    return this;
}

void TXmlDocContentType::Parse(TStream& stream) {
    // A Default or Override directly at the root is read and not used.
    struct TRoot final : public TXmlElement {
        TCT_Types& types;
        TCT_Default lonelyDefault;
        TCT_Override lonelyOverride;
        explicit TRoot(TCT_Types& t) : types(t) {}
        TXmlElement* HandleElement(TXmlDocReader& reader) override {
            const std::string_view name = reader.QualifiedName();
            if (name == "Types") return &types;
            if (name == "Default") return &(lonelyDefault = TCT_Default());
            if (name == "Override") return &(lonelyOverride = TCT_Override());
            reader.Errors().UnknownElement(name);
            return this;
        }
    } root(Types);
    TXmlErrors errors;
    TXmlDocReader reader(root, errors);
    reader.SetAlwaysHandleAttributes(true);
    reader.Parse(stream);
}

} // namespace tessaly
