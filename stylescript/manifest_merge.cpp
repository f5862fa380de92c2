#include "stylescript/manifest_merge.h"

#include "platform/xml_elements.h"
#include "stylescript/target_program.h"

namespace sheen {
namespace {

constexpr std::wstring_view kAssemblyNamespace = L"urn:schemas-microsoft-com:asm.v1";

// How the manifest's characters are stored, as far as adding ASCII text needs.
struct Encoding {
    size_t unit = 1; // bytes per code unit
    bool bigEndian = false;
};

Encoding EncodingOf(std::string_view bytes) {
    const auto starts = [&](std::string_view prefix) { return bytes.starts_with(prefix); };
    if (starts("\xFF\xFE") || (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0'))
        return {2, false};
    if (starts("\xFE\xFF") || (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] != '\0'))
        return {2, true};
    return {}; // UTF-8, with or without its byte-order mark, or a code page
}

// `text` in the manifest's encoding: UTF-16 as it is, else UTF-8, which is
// ASCII itself for the ASCII text added.
std::string Encoded(std::wstring_view text, const Encoding& encoding) {
    std::string bytes;
    if (encoding.unit == 2) {
        for (const wchar_t c : text) {
            const char low = char(c & 0xFF);
            const char high = char(c >> 8);
            bytes += encoding.bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    bytes.resize(size_t(size));
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

bool IsBlank(std::string_view bytes, size_t at, const Encoding& encoding) {
    for (const char blank : {' ', '\t', '\r', '\n'}) {
        if (bytes.substr(at, encoding.unit) == Encoded(std::wstring(1, wchar_t(blank)), encoding))
            return true;
    }
    return false;
}

// Whether the root's end tag `endTag` (already encoded) begins at `at`: on a
// character boundary, followed by blanks and '>'.
bool IsEndTagAt(std::string_view bytes, size_t at, const std::string& endTag,
                const Encoding& encoding) {
    if (at % encoding.unit != 0)
        return false;
    size_t next = at + endTag.size();
    while (next < bytes.size() && IsBlank(bytes, next, encoding))
        next += encoding.unit;
    return bytes.substr(next, encoding.unit) == Encoded(L">", encoding);
}

// The dependency, with `prefix` (empty, or "name:") on every element, and
// `declaration` on the first.
std::wstring Dependency(const std::wstring& prefix, std::wstring_view declaration,
                        std::string_view architecture) {
    return L"<" + prefix + L"dependency" + std::wstring(declaration) + L"><" + prefix +
           L"dependentAssembly><" + prefix +
           L"assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
           L"version=\"6.0.0.0\" processorArchitecture=\"" +
           std::wstring(architecture.begin(), architecture.end()) +
           L"\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></" + prefix +
           L"dependentAssembly></" + prefix + L"dependency>";
}

} // namespace

DWORD AddCommonControlsDependency(std::string_view manifest, std::string_view architecture,
                                  std::string& merged) {
    XmlRoot root;
    if (!ReadXmlRoot(manifest, root))
        return kUnreadableManifest;
    const Encoding encoding = EncodingOf(manifest);
    const std::wstring qualified =
        root.prefix.empty() ? root.localName : root.prefix + L":" + root.localName;
    const std::string endTag = Encoded(L"</" + qualified, encoding);
    const bool inNamespace = root.namespaceUri == kAssemblyNamespace;
    const std::wstring prefix = inNamespace && !root.prefix.empty() ? root.prefix + L":" : L"";
    const std::wstring declaration =
        inNamespace ? L"" : L" xmlns=\"" + std::wstring(kAssemblyNamespace) + L"\"";
    const std::string added = Encoded(Dependency(prefix, declaration, architecture), encoding);
    // The root's end tag is the last one that reads as it, unless a comment or
    // a processing instruction after the root only looks like one.
    for (size_t at = manifest.rfind(endTag); at != std::string_view::npos;
         at = at == 0 ? std::string_view::npos : manifest.rfind(endTag, at - 1)) {
        if (!IsEndTagAt(manifest, at, endTag, encoding))
            continue;
        merged = std::string(manifest.substr(0, at)) + added + std::string(manifest.substr(at));
        XmlRoot mergedRoot;
        if (ReadXmlRoot(merged, mergedRoot) && mergedRoot.prefix == root.prefix &&
            mergedRoot.localName == root.localName &&
            mergedRoot.namespaceUri == root.namespaceUri && DependsOnCommonControls6(merged))
            return ERROR_SUCCESS;
    }
    merged.clear();
    return kUnreadableManifest;
}

} // namespace sheen
