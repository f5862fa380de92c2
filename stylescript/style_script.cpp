#include "stylescript/style_script.h"

#include <algorithm>

namespace sheen {

std::string StyleScriptFor(std::string_view architecture) {
    std::string script(kStyleScript);
    constexpr std::string_view kAttribute = "processorArchitecture=\"";
    for (size_t at = script.find(kAttribute); at != std::string::npos;
         at = script.find(kAttribute, at)) {
        at += kAttribute.size();
        script.replace(at, kArchitectureX86.size(), architecture);
    }
    return script;
}

bool IsOwnStyleScript(std::string_view bytes) {
    return std::any_of(
        std::begin(kScriptArchitectures), std::end(kScriptArchitectures),
        [&](std::string_view architecture) { return bytes == StyleScriptFor(architecture); });
}

} // namespace sheen
