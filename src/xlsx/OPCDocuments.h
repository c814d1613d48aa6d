#pragma once
// The two package documents: relationship parts (_rels/*.rels) and [Content_Types].xml. Their
// elements are matched by exact name, prefix included; an element they do not know fails the
// read ("Row 0: Unknown Element ..."), an attribute they do not know is ignored.

#include <string>

#include "xlsx/XmlDocument.h"

namespace tessaly {

class TStream;

class TCT_Relationship final : public TXmlElement {
public:
    std::string Id;
    std::string Type;
    std::string Target;
    bool External = false;
    std::string Text;
    void HandleAttributes(TXmlAttributeList& attributes) override;
};

class TCT_Relationships final : public TXmlElement {
public:
    TXmlElementList<TCT_Relationship> Items;
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
};

// Reads one relationship part.
class TXmlDocOPC {
public:
    TCT_Relationships Relationships;
    void Parse(TStream& stream);
};

class TCT_Default final : public TXmlElement {
public:
    std::string Extension;
    std::string ContentType;
    void HandleAttributes(TXmlAttributeList& attributes) override;
};

class TCT_Override final : public TXmlElement {
public:
    std::string PartName;
    std::string ContentType;
    void HandleAttributes(TXmlAttributeList& attributes) override;
};

class TCT_Types final : public TXmlElement {
public:
    TXmlElementList<TCT_Default> Defaults;
    TXmlElementList<TCT_Override> Overrides;
    TXmlElement* HandleElement(TXmlDocReader& reader) override;
};

// Reads [Content_Types].xml.
class TXmlDocContentType {
public:
    TCT_Types Types;
    void Parse(TStream& stream);
};

} // namespace tessaly
