#include "support/import_swap.h"

#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <cstring>

namespace sheen::test {

void* SwapImport(const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    ULONG size = 0;
    auto* dll = static_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        ::ImageDirectoryEntryToData(base, TRUE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
    for (; dll && dll->Name; ++dll) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            const auto* import =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const char*>(import->Name), name) != 0)
                continue;
            DWORD protection = 0;
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return previous;
        }
    }
    ADD_FAILURE() << "this program imports no " << name;
    return nullptr;
}

} // namespace sheen::test
