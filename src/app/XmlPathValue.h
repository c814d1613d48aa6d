#pragma once
// Reading one value out of an XML file by a path of element names, as the start-up probe reads
// the product-code version from the invoicing software's parameters file.

#include <string>
#include <string_view>

struct _xmlNode;   // libxml2's node

namespace tessaly {

// The result of ReadXmlPathValue when the file cannot be read or used.
constexpr const char* kXmlPathError = "error";

// Loads `file` and walks `path`, split at `delimiter` into element names: the first must be the
// root element's name exactly, each following one selects the first child element of that name.
// At the end of the path the result is the element's text (empty without content), or, when
// `attribute` is not blank, the value of that attribute (empty when it is missing). A path that
// does not match gives the empty text. "error" when the file cannot be read, is not well-formed
// XML, or the element at the end holds anything but text.
std::string ReadXmlPathValue(const std::string& file, std::string_view path, std::string_view attribute,
                             char delimiter);

// The first node in the sibling list starting at `first` (document order) whose node name equals
// `name` exactly (a prefixed element is named "prefix:local"); text and other non-element nodes
// never match. Null when there is none.
_xmlNode* FindChildByName(_xmlNode* first, std::string_view name);

} // namespace tessaly
