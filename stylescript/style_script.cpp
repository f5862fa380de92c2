#include "stylescript/style_script.h"

#include <algorithm>

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

bool IsOwnStyleScript(std::string_view bytes) {
    // Each machine StyleScriptFor names a processor for, and one it does not.
    constexpr WORD kMachines[] = {IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64,
                                  IMAGE_FILE_MACHINE_ARM64};
    return std::any_of(std::begin(kMachines), std::end(kMachines),
                       [&](WORD machine) { return bytes == StyleScriptFor(machine); });
}

} // namespace sheen
