#pragma once
// XML documents read by the system's own parser, XmlLite, which Windows has
// since Vista: it is loaded by the first document read, and kept, so start-up
// and Windows XP pay nothing for it.

#include <string>
#include <string_view>
#include <utility>

struct IXmlReader;

namespace sheen {

// An element of a document, as the reader stands on its start tag.
class XmlElement {
  public:
    XmlElement(IXmlReader* reader, std::wstring_view localName, std::wstring namespaceUri)
        : reader_(reader), localName_(localName), namespaceUri_(std::move(namespaceUri)) {}
    // Its name without a namespace prefix; valid until the first NextAttribute.
    std::wstring_view localName() const { return localName_; }
    // The namespace it is in; empty for none.
    const std::wstring& namespaceUri() const { return namespaceUri_; }
    // Steps to its next attribute (namespace declarations included) and gives
    // its name without prefix and its value, entities resolved, and with
    // `prefixed` whether its name has a prefix; each is valid until the next
    // step. False after the last.
    bool NextAttribute(std::wstring_view& localName, std::wstring_view& value,
                       bool* prefixed = nullptr);

  private:
    IXmlReader* reader_;
    std::wstring_view localName_;
    std::wstring namespaceUri_;
    bool started_ = false;
};

// Whether an element of the XML document `document` satisfies `matches`. The
// encoding comes from its byte-order mark or declaration (UTF-8, UTF-16, ...);
// comments, CDATA and processing instructions hold no elements; a DTD is
// refused. False for a document that is not well-formed to its end, and where
// the system has no XmlLite: nothing is claimed that was not read.
bool AnyXmlElement(std::string_view document, bool (*matches)(XmlElement& element));

// Whether the system has XmlLite to read documents with.
bool XmlReaderAvailable();

// The root element of a document, as the reader names it.
struct XmlRoot {
    std::wstring prefix; // empty for none
    std::wstring localName;
    std::wstring namespaceUri; // empty for none
};

// Sets `root` to the root element of `document`, read as AnyXmlElement reads
// it. False for a document that is not well-formed to its end, and where the
// system has no XmlLite.
bool ReadXmlRoot(std::string_view document, XmlRoot& root);

} // namespace sheen
