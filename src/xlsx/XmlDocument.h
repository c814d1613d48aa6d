#pragma once
// The element-object pattern over the tokenizer: one class per XML element type receives its
// attributes, chooses the object for each child element and learns when a child has ended.
// Elements that repeat in large numbers (rows, cells, string items) reuse one object and are
// delivered through AfterChild of their parent, so a part is never held as a tree.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/XmlTokenizer.h"

namespace tessaly {

class TXmlDocReader;

// Unknown names: "Row %d: Unknown Element "%s"" (with 0). With a handler the handler receives
// the message and parsing goes on; without one an unknown element fails the parse and an
// unknown attribute is ignored.
class TXmlErrors {
public:
    std::function<void(const std::string&)> Handler;
    std::string LastMessage;

    void UnknownElement(std::string_view name);
    void UnknownAttribute(std::string_view name);
};

class TXmlElement {
public:
    virtual ~TXmlElement() = default;

    static constexpr uint8_t kOccurred = 8;
    uint8_t Flags = 0;

    // Writing side: counts what is set.
    virtual int Check() { return 1; }
    // The object that receives the child element that just started (itself for a child whose
    // text it takes directly, and for a child it does not know).
    virtual TXmlElement* HandleElement(TXmlDocReader& reader) {
        (void)reader;
        return this;
    }
    virtual void HandleAttributes(TXmlAttributeList& attributes) { (void)attributes; }
    // A child element has ended; `child` is the object HandleElement returned for it.
    virtual void AfterChild(TXmlDocReader& reader, TXmlElement& child) {
        (void)reader;
        (void)child;
    }
};

// An owning list of element objects of one class, for children that repeat and are kept.
template <class T>
class TXmlElementList {
public:
    T& Add() {
        items_.push_back(std::make_unique<T>());
        return *items_.back();
    }
    size_t Count() const { return items_.size(); }
    T& operator[](size_t index) { return *items_[index]; }
    const T& operator[](size_t index) const { return *items_[index]; }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<T>> items_;
};

class TXmlDocReader : public TXmlTokenizer {
public:
    TXmlDocReader(TXmlElement& root, TXmlErrors& errors);

    TXmlErrors& Errors() { return errors_; }
    // HandleAttributes is called for every child object, also when the tag has no attributes.
    void SetAlwaysHandleAttributes(bool always) { alwaysAttributes_ = always; }
    // Markup-compatibility wrappers: AlternateContent and Fallback are read through, the
    // Choice branches (which need extensions this reader does not implement) are skipped.
    void SetMarkupCompatibility(bool enabled) { markupCompatibility_ = enabled; }
    // Skips the element that just started, with everything inside it (call from HandleElement).
    void SkipElement() { skipRequested_ = true; }

protected:
    void BeginTag() override;
    void EndTag() override;

private:
    struct Frame {
        TXmlElement* object;
        bool transparent;
    };

    TXmlElement* current_;
    TXmlErrors& errors_;
    std::vector<Frame> stack_;
    bool alwaysAttributes_ = false;
    bool markupCompatibility_ = false;
    bool skipRequested_ = false;
    int skipDepth_ = 0;   // > 0 while skipping: the depth of the skipped element
};

} // namespace tessaly
