#include "stylescript/style_script.h"

namespace sheen {

std::string StyleScriptFor(WORD machine) {
    std::string script(kStyleScript);
    const char* processor = machine == IMAGE_FILE_MACHINE_AMD64   ? "amd64"
                            : machine == IMAGE_FILE_MACHINE_ARM64 ? "arm64"
                                                                  : nullptr;
    if (!processor)
        return script;
    constexpr std::string_view kAttribute = "processorArchitecture=\"";
    constexpr std::string_view kX86 = "X86";
    for (size_t at = script.find(kAttribute); at != std::string::npos;
         at = script.find(kAttribute, at)) {
        at += kAttribute.size();
        script.replace(at, kX86.size(), processor);
    }
    return script;
}

} // namespace sheen
