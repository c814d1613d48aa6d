#include "xlsx/XmlDocument.h"

#include "core/Exception.h"
#include "core/Format.h"

namespace tessaly {

namespace {

constexpr std::string_view kMarkupCompatibility = "http://schemas.openxmlformats.org/markup-compatibility/2006";

std::string UnknownMessage(const char* what, std::string_view name) {
    return Format("Row %d: ", 0) + Format("Unknown %s \"%.*s\"", what, static_cast<int>(name.size()), name.data());
}

} // namespace

void TXmlErrors::UnknownElement(std::string_view name) {
    LastMessage = UnknownMessage("Element", name);
    if (Handler) Handler(LastMessage);
    else throw Exception(LastMessage);
}

void TXmlErrors::UnknownAttribute(std::string_view name) {
    LastMessage = UnknownMessage("Attribute", name);
    if (Handler) Handler(LastMessage);
}

TXmlDocReader::TXmlDocReader(TXmlElement& root, TXmlErrors& errors) : current_(&root), errors_(errors) {
    stack_.reserve(32);
}

void TXmlDocReader::BeginTag() {
    if (skipDepth_ > 0) return;
    if (markupCompatibility_ && !Prefix().empty() && NamespaceOf(Prefix()) == kMarkupCompatibility) {
        if (LocalName() == "Choice") {
            skipDepth_ = Depth();
        } else {
            stack_.push_back({current_, true});
        }
        return;
    }
    stack_.push_back({current_, false});
    skipRequested_ = false;
    TXmlElement* next = current_->HandleElement(*this);
    if (skipRequested_) {
        skipRequested_ = false;
        stack_.pop_back();
        skipDepth_ = Depth();
        return;
    }
    if (next != current_) {
        next->Flags |= TXmlElement::kOccurred;
        if (alwaysAttributes_ || Attributes().Count() > 0) next->HandleAttributes(Attributes());
    }
    current_ = next;
}

void TXmlDocReader::EndTag() {
    if (skipDepth_ > 0) {
        if (Depth() == skipDepth_) skipDepth_ = 0;
        return;
    }
    if (stack_.empty()) return;
    const Frame frame = stack_.back();
    stack_.pop_back();
    TXmlElement* child = current_;
    current_ = frame.object;
    if (!frame.transparent) current_->AfterChild(*this, *child);
}

} // namespace tessaly
