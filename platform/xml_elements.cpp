#include "platform/xml_elements.h"

#include "platform/system_function.h"
#include "platform/unique_handle.h"

#include <xmllite.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace sheen {
namespace {

// The document's bytes as the stream XmlLite reads, without copying them. Of
// our own rather than SHCreateMemStream: that would load shlwapi.dll besides,
// and where XmlLite was added to a system older than Vista, shlwapi exports it
// only by ordinal. It lives on the stack for one reading, so references
// counted free nothing.
class ByteStream final : public ISequentialStream {
  public:
    explicit ByteStream(std::string_view bytes) : bytes_(bytes) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id != __uuidof(IUnknown) && id != __uuidof(ISequentialStream)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<ISequentialStream*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        const ULONG count = ULONG(std::min<size_t>(size, bytes_.size()));
        std::memcpy(buffer, bytes_.data(), count);
        bytes_.remove_prefix(count);
        if (read)
            *read = count;
        return count == size ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }

  private:
    std::string_view bytes_;
};

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

} // namespace

bool XmlElement::NextAttribute(std::wstring_view& localName, std::wstring_view& value,
                               bool* prefixed) {
    const HRESULT moved = std::exchange(started_, true) ? reader_->MoveToNextAttribute()
                                                        : reader_->MoveToFirstAttribute();
    const wchar_t* name = nullptr;
    const wchar_t* text = nullptr;
    UINT nameLength = 0;
    UINT textLength = 0;
    if (moved != S_OK || reader_->GetLocalName(&name, &nameLength) != S_OK ||
        reader_->GetValue(&text, &textLength) != S_OK)
        return false;
    if (prefixed) {
        const wchar_t* prefix = nullptr;
        UINT prefixLength = 0;
        *prefixed = reader_->GetPrefix(&prefix, &prefixLength) == S_OK && prefixLength != 0;
    }
    localName = {name, nameLength};
    value = {text, textLength};
    return true;
}

namespace {

// XmlLite is loaded by the first read and kept, as the other DLLs of some
// actions are: one request judges several manifests, and each load of the
// DLL costs more than the reading.
CreateXmlReaderFunction XmlReaderFactory() {
    static const auto create =
        LoadSystemFunction<CreateXmlReaderFunction>(L"xmllite.dll", "CreateXmlReader");
    return create;
}

// Reads all of `document`, showing `visit` the reader on each element's start
// tag; true when it is well-formed to its end.
template <typename Visit> bool ReadElements(std::string_view document, Visit visit) {
    const auto create = XmlReaderFactory();
    if (!create)
        return false;
    ByteStream stream(document);
    IXmlReader* created = nullptr;
    if (create(__uuidof(IXmlReader), reinterpret_cast<void**>(&created), nullptr) != S_OK)
        return false;
    const UniqueComPointer<IXmlReader> reader(created);
    if (reader.get()->SetInput(&stream) != S_OK)
        return false;
    XmlNodeType type;
    HRESULT result;
    while ((result = reader.get()->Read(&type)) == S_OK) {
        if (type == XmlNodeType_Element)
            visit(reader.get());
    }
    return result == S_FALSE; // S_FALSE: the end of a well-formed document
}

std::wstring Text(HRESULT (STDMETHODCALLTYPE IXmlReader::*get)(const wchar_t**, UINT*),
                  IXmlReader* reader) {
    const wchar_t* text = nullptr;
    UINT length = 0;
    return (reader->*get)(&text, &length) == S_OK ? std::wstring(text, length) : std::wstring();
}

} // namespace

bool AnyXmlElement(std::string_view document, bool (*matches)(XmlElement& element)) {
    bool found = false;
    const bool wellFormed = ReadElements(document, [&](IXmlReader* reader) {
        const wchar_t* name = nullptr;
        UINT length = 0;
        if (found || reader->GetLocalName(&name, &length) != S_OK)
            return;
        XmlElement element(reader, {name, length}, Text(&IXmlReader::GetNamespaceUri, reader));
        found = matches(element);
    });
    return found && wellFormed;
}

bool XmlReaderAvailable() {
    return XmlReaderFactory() != nullptr;
}

bool ReadXmlRoot(std::string_view document, XmlRoot& root) {
    bool first = true;
    const bool wellFormed = ReadElements(document, [&](IXmlReader* reader) {
        if (!std::exchange(first, false))
            return;
        root.prefix = Text(&IXmlReader::GetPrefix, reader);
        root.localName = Text(&IXmlReader::GetLocalName, reader);
        root.namespaceUri = Text(&IXmlReader::GetNamespaceUri, reader);
    });
    return wellFormed && !first;
}

} // namespace sheen
