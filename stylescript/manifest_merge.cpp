#include "stylescript/manifest_merge.h"

#include "platform/utf8_text.h"
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
    return Utf8Of(text);
}

// The code unit at `at`: a byte, or a UTF-16 unit; 0 past the end.
wchar_t UnitAt(std::string_view bytes, size_t at, const Encoding& encoding) {
    if (at + encoding.unit > bytes.size())
        return 0;
    const auto byte = [&](size_t i) { return wchar_t(static_cast<unsigned char>(bytes[i])); };
    if (encoding.unit == 1)
        return byte(at);
    return encoding.bigEndian ? wchar_t(byte(at) << 8 | byte(at + 1))
                              : wchar_t(byte(at + 1) << 8 | byte(at));
}

// Whether the root's end tag `endTag` (already encoded) begins at `at`: on a
// character boundary, followed by blanks and '>'.
bool IsEndTagAt(std::string_view bytes, size_t at, const std::string& endTag,
                const Encoding& encoding) {
    if (at % encoding.unit != 0)
        return false;
    size_t next = at + endTag.size();
    for (;; next += encoding.unit) {
        const wchar_t unit = UnitAt(bytes, next, encoding);
        if (unit != L' ' && unit != L'\t' && unit != L'\r' && unit != L'\n')
            return unit == L'>';
    }
}

// The dependency, with `prefix` (empty, or "name:") on every element, and
// `declaration` on the first.
std::wstring Dependency(const std::wstring& prefix, std::wstring_view declaration,
                        std::string_view architecture) {
    std::wstring text;
    const auto tag = [&](std::wstring_view opening, std::wstring_view name) {
        text.append(opening).append(prefix).append(name);
    };
    tag(L"<", L"dependency");
    text.append(declaration);
    tag(L"><", L"dependentAssembly");
    tag(L"><", L"assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
               L"version=\"6.0.0.0\" processorArchitecture=\"");
    text.append(architecture.begin(), architecture.end());
    text.append(L"\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>");
    tag(L"</", L"dependentAssembly>");
    tag(L"</", L"dependency>");
    return text;
}

} // namespace

DWORD AddCommonControlsDependency(std::string_view manifest, std::string_view architecture,
                                  std::string& merged) {
    XmlRoot root;
    if (!ReadXmlRoot(manifest, root))
        return kUnreadableManifest;
    if (DependsOnOtherCommonControls(manifest))
        return kOtherCommonControlsVersion;
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
