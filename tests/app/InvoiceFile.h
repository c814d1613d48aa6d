#pragma once
// Reads an invoice file back with libxml2, a conforming XML parser: the invoice's fields and
// its goods lines as UTF-8 texts by element name.

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <string>
#include <vector>

namespace tessaly::test {

struct InvoiceFile {
    bool wellFormed = false;
    std::string encoding;
    std::vector<std::string> fpOrder;                 // element names under Fp, in order
    std::map<std::string, std::string> fp;            // Djh, Gfmc, ... Hsbz
    std::vector<std::vector<std::pair<std::string, std::string>>> lines;   // Sph children in order
    std::string version;                              // Kp/Version
    std::string zsl;                                  // Fpxx/Zsl

    std::string Line(size_t index, const std::string& name) const {
        for (const auto& [element, text] : lines.at(index))
            if (element == name) return text;
        return "<missing>";
    }
};

inline std::string NodeText(xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

inline xmlNode* Child(xmlNode* parent, const char* name) {
    for (xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, BAD_CAST name) == 0) return n;
    return nullptr;
}

inline InvoiceFile ParseInvoiceFile(const std::string& bytes) {
    InvoiceFile file;
    xmlDoc* doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "invoice.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return file;
    file.wellFormed = true;
    file.encoding = doc->encoding ? reinterpret_cast<const char*>(doc->encoding) : "";
    xmlNode* root = xmlDocGetRootElement(doc);
    if (root && xmlStrcmp(root->name, BAD_CAST "Kp") == 0) {
        if (xmlNode* v = Child(root, "Version")) file.version = NodeText(v);
        xmlNode* fpxx = Child(root, "Fpxx");
        if (xmlNode* z = Child(fpxx, "Zsl")) file.zsl = NodeText(z);
        xmlNode* fp = Child(Child(fpxx, "Fpsj"), "Fp");
        for (xmlNode* n = fp ? fp->children : nullptr; n; n = n->next) {
            if (n->type != XML_ELEMENT_NODE) continue;
            const std::string name = reinterpret_cast<const char*>(n->name);
            file.fpOrder.push_back(name);
            if (name != "Spxx") {
                file.fp[name] = NodeText(n);
                continue;
            }
            for (xmlNode* sph = n->children; sph; sph = sph->next) {
                if (sph->type != XML_ELEMENT_NODE) continue;
                auto& line = file.lines.emplace_back();
                for (xmlNode* c = sph->children; c; c = c->next)
                    if (c->type == XML_ELEMENT_NODE) line.emplace_back(reinterpret_cast<const char*>(c->name), NodeText(c));
            }
        }
    }
    xmlFreeDoc(doc);
    return file;
}

} // namespace tessaly::test
