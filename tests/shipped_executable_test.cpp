// The 32-bit program we ship cannot run here, but its file can be read: it must
// ask for nothing Windows XP lacks.
#include "support/app_driver.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <imagehlp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>

namespace sheen {
namespace {

const std::wstring kShippedProgram = test::BesideThisProgram(L"..\\..\\win32\\Sheenwright.exe");

// A 32-bit PE file, read as the loader would read its import tables.
class Pe32File {
  public:
    explicit Pe32File(std::string bytes) : bytes_(std::move(bytes)) {
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        nt_ = dos ? At<IMAGE_NT_HEADERS32>(dos->e_lfanew) : nullptr;
    }
    const IMAGE_NT_HEADERS32* headers() const { return nt_; }

    // DLL name, upper case, to the names of the functions taken from it. (GNU ld
    // leaves the delay-load directory empty: comdlg32, loaded on first Browse,
    // is not listed.)
    std::map<std::string, std::set<std::string>> Imports() const {
        std::map<std::string, std::set<std::string>> imports;
        const auto& entry = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (DWORD at = entry.VirtualAddress; at < entry.VirtualAddress + entry.Size;
             at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(Offset(at));
            if (!descriptor || !descriptor->Name)
                break;
            std::string dll = Text(descriptor->Name);
            std::transform(dll.begin(), dll.end(), dll.begin(),
                           [](unsigned char c) { return char(std::toupper(c)); });
            auto& names = imports[dll];
            const DWORD thunks = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk
                                                                : descriptor->FirstThunk;
            for (DWORD thunk = thunks;; thunk += 4) {
                const auto* value = At<DWORD>(Offset(thunk));
                if (!value || !*value)
                    break;
                names.insert(*value & IMAGE_ORDINAL_FLAG32 ? "#ordinal" : Text(*value + 2));
            }
        }
        return imports;
    }

  private:
    template <typename T> const T* At(size_t offset) const {
        return offset + sizeof(T) <= bytes_.size()
                   ? reinterpret_cast<const T*>(bytes_.data() + offset)
                   : nullptr;
    }
    size_t Offset(DWORD rva) const {
        const auto* section = IMAGE_FIRST_SECTION(nt_);
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section)
            if (rva >= section->VirtualAddress &&
                rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        return bytes_.size(); // nowhere
    }
    std::string Text(DWORD rva) const {
        const size_t offset = Offset(rva);
        if (offset >= bytes_.size())
            return {};
        return std::string(bytes_.c_str() + offset,
                           strnlen(bytes_.c_str() + offset, bytes_.size() - offset));
    }

    std::string bytes_;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

class ShippedProgram : public testing::Test {
  protected:
    void SetUp() override {
        if (GetFileAttributesW(kShippedProgram.c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "the 32-bit build is not there; 'make build' makes it";
        ASSERT_NE(file_.headers(), nullptr);
        ASSERT_EQ(file_.headers()->Signature, DWORD(IMAGE_NT_SIGNATURE));
    }
    Pe32File file_{test::ReadFileBytesIfAny(kShippedProgram)};
};

TEST_F(ShippedProgram, IsA32BitWindowsProgramForWindowsXp) {
    const auto& headers = *file_.headers();
    EXPECT_EQ(headers.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(headers.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(headers.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(headers.OptionalHeader.MajorSubsystemVersion, 5);
    EXPECT_EQ(headers.OptionalHeader.MinorSubsystemVersion, 1);
    EXPECT_EQ(headers.OptionalHeader.MajorOperatingSystemVersion, 5);
    EXPECT_EQ(headers.OptionalHeader.MinorOperatingSystemVersion, 1);
}

TEST_F(ShippedProgram, NeedsOnlySystemDllsAndNothingNewerThanXp) {
    const std::set<std::string> systemDlls = {"KERNEL32.DLL", "USER32.DLL",   "GDI32.DLL",
                                              "COMCTL32.DLL", "COMDLG32.DLL", "MSVCRT.DLL",
                                              "ADVAPI32.DLL"};
    // Functions the MinGW runtime or the standard library may reach for, which XP does not have.
    const std::set<std::string> newerThanXp = {"GetTickCount64",
                                               "FlsAlloc",
                                               "FlsGetValue",
                                               "FlsSetValue",
                                               "InitializeCriticalSectionEx",
                                               "InitOnceExecuteOnce",
                                               "InitializeSRWLock",
                                               "AcquireSRWLockExclusive",
                                               "SleepConditionVariableCS",
                                               "WakeAllConditionVariable",
                                               "CreateEventExW",
                                               "GetSystemTimePreciseAsFileTime",
                                               "GetFileInformationByHandleEx",
                                               "CompareStringEx",
                                               "LCMapStringEx",
                                               "GetLocaleInfoEx",
                                               "GetCurrentProcessorNumber",
                                               "GetDpiForWindow",
                                               "SetProcessDpiAwarenessContext",
                                               "GetFinalPathNameByHandleW",
                                               "CreateSymbolicLinkW"};
    size_t functions = 0;
    for (const auto& [dll, names] : file_.Imports()) {
        EXPECT_TRUE(systemDlls.count(dll)) << dll;
        for (const std::string& name : names) {
            EXPECT_FALSE(newerThanXp.count(name)) << dll << "!" << name;
            ++functions;
        }
    }
    EXPECT_GT(functions, 50u) << "the import tables were read";
}

// The build leaves the link time out so that it can be reproduced; the header's
// checksum (Windows checks it for drivers, some tools for any program) must
// still be the one the system computes.
TEST_F(ShippedProgram, HasNoLinkTimeAndTheChecksumWindowsComputes) {
    EXPECT_EQ(file_.headers()->FileHeader.TimeDateStamp, 0u);
    DWORD inHeader = 0, computed = 0;
    ASSERT_EQ(MapFileAndCheckSumW(kShippedProgram.c_str(), &inHeader, &computed),
              DWORD(CHECKSUM_SUCCESS));
    EXPECT_NE(computed, 0u);
    EXPECT_EQ(inHeader, computed);
}

} // namespace
} // namespace sheen
