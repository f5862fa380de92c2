#include "stylescript/style_script.h"

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

} // namespace sheen
