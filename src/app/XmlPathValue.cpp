#include "app/XmlPathValue.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/NumberTexts.h"
#include "core/Stream.h"

namespace tessaly {

namespace {

// A parameters file is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxFileSize = 64 * 1024 * 1024;

struct TDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using TDocPtr = std::unique_ptr<xmlDoc, TDocFree>;

std::string_view Text(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

bool NameEquals(const xmlNode* node, std::string_view name) {
    if (node->ns && node->ns->prefix) {
        const std::string_view prefix = Text(node->ns->prefix);
        return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
               name[prefix.size()] == ':' && name.substr(prefix.size() + 1) == Text(node->name);
    }
    return name == Text(node->name);
}

// The bytes of a regular file of sensible size; nothing otherwise (a pipe or a device named like
// a parameters file must not block the start-up).
std::optional<std::vector<uint8_t>> ReadRegularFile(const std::string& file) {
    try {
        const std::filesystem::path path(std::u8string(file.begin(), file.end()));
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        if (error || size > kMaxFileSize) return std::nullopt;
        return ReadFileBytes(file);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The text an element holds: its text and CDATA pieces joined. Nothing when it holds anything
// else (child elements, comments, unexpanded entity references).
std::optional<std::string> ElementText(const xmlNode* element) {
    std::string text;
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) return std::nullopt;
        text += Text(child->content);
    }
    return text;
}

} // namespace

_xmlNode* FindChildByName(_xmlNode* first, std::string_view name) {
    for (xmlNode* node = first; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && NameEquals(node, name)) return node;
    }
    return nullptr;
}

std::string ReadXmlPathValue(const std::string& file, std::string_view path, std::string_view attribute,
                             char delimiter) {
    const std::optional<std::vector<uint8_t>> bytes = ReadRegularFile(file);
    if (!bytes || bytes->empty()) return kXmlPathError;
    // A conforming parse: no recovery from errors, no network, nothing printed; the encoding is
    // the one the file declares (the invoicing software writes GBK).
    const TDocPtr doc(xmlReadMemory(reinterpret_cast<const char*>(bytes->data()), static_cast<int>(bytes->size()),
                                    nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    xmlNode* node = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!node) return kXmlPathError;

    // The first name is the root's; each following one selects a child of the element before.
    size_t start = 0;
    for (bool root = true;; root = false) {
        const size_t end = path.find(delimiter, start);
        const std::string_view name = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (!root) node = FindChildByName(node->children, name);
        if (!node || (root && !NameEquals(node, name))) return {};
        if (end == std::string_view::npos) break;
        start = end + 1;
    }

    if (!IsBlankText(attribute)) {
        const std::string name(attribute);
        xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name.c_str()));
        std::string result(Text(value));
        xmlFree(value);
        return result;
    }
    return ElementText(node).value_or(kXmlPathError);
}

} // namespace tessaly
