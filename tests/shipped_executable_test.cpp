// The built programs read as data: the 32-bit one we ship must ask for nothing
// Windows XP lacks, and in both, every import must lead somewhere.
#include "support/app_driver.h"
#include "support/registry_value.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <imagehlp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace sheen {
namespace {

const std::wstring kShippedProgram = test::BesideThisProgram(L"..\\..\\win32\\Sheenwright.exe");

// A PE file (PE32 or PE32+), read as the loader would read its import tables.
class PeFile {
  public:
    explicit PeFile(std::string bytes) : bytes_(std::move(bytes)) {
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        nt_ = dos ? At<IMAGE_NT_HEADERS32>(dos->e_lfanew) : nullptr;
        if (!nt_)
            return;
        wide_ = nt_->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
        const auto* nt64 = reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt_);
        imageBase_ = wide_ ? nt64->OptionalHeader.ImageBase : nt_->OptionalHeader.ImageBase;
        imports_ = wide_ ? nt64->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
                         : nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    }
    // The parts both forms share; for the 32-bit one, all of them.
    const IMAGE_NT_HEADERS32* headers() const { return nt_; }

    // DLL name, upper case, to the names of the functions taken from it.
    std::map<std::string, std::set<std::string>> Imports() const {
        std::map<std::string, std::set<std::string>> imports;
        for (DWORD at = imports_.VirtualAddress; at < imports_.VirtualAddress + imports_.Size;
             at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(Offset(at));
            if (!descriptor || !descriptor->Name)
                break;
            auto& names = imports[Upper(Text(descriptor->Name))];
            for (DWORD thunk = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk
                                                              : descriptor->FirstThunk;
                 Slot(thunk); thunk += SlotSize())
                names.insert(IsOrdinal(Slot(thunk)) ? "#ordinal" : Text(DWORD(Slot(thunk)) + 2));
        }
        return imports;
    }

    // "DLL!function" for every delay-loaded import whose address slot, as the
    // file holds it, does not lead to code in the image: the first call would
    // jump there instead of to the loading thunk. GNU ld leaves such
    // descriptors out of the data directory, so they are searched for.
    std::vector<std::string> UnreachableDelayedImports() const {
        std::vector<std::string> unreachable;
        for (const IMAGE_SECTION_HEADER& section : Sections())
            for (DWORD at = 0; at + sizeof(IMAGE_DELAYLOAD_DESCRIPTOR) <= section.SizeOfRawData;
                 at += 4) {
                const auto* descriptor =
                    At<IMAGE_DELAYLOAD_DESCRIPTOR>(section.PointerToRawData + at);
                if (!descriptor || descriptor->Attributes.AllAttributes != 1 ||
                    !descriptor->ImportAddressTableRVA || !descriptor->ImportNameTableRVA)
                    continue;
                const std::string dll = Upper(Text(descriptor->DllNameRVA));
                if (dll.size() < 5 || dll.substr(dll.size() - 4) != ".DLL")
                    continue;
                for (DWORD i = 0; Slot(descriptor->ImportNameTableRVA + i * SlotSize()); ++i) {
                    const ULONGLONG name = Slot(descriptor->ImportNameTableRVA + i * SlotSize());
                    const ULONGLONG target =
                        Slot(descriptor->ImportAddressTableRVA + i * SlotSize());
                    if (!IsCode(target))
                        unreachable.push_back(
                            dll + "!" + (IsOrdinal(name) ? "#ordinal" : Text(DWORD(name) + 2)));
                }
            }
        return unreachable;
    }

  private:
    template <typename T> const T* At(size_t offset) const {
        return offset + sizeof(T) <= bytes_.size()
                   ? reinterpret_cast<const T*>(bytes_.data() + offset)
                   : nullptr;
    }
    std::vector<IMAGE_SECTION_HEADER> Sections() const {
        const auto* first = IMAGE_FIRST_SECTION(nt_);
        return {first, first + nt_->FileHeader.NumberOfSections};
    }
    size_t Offset(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : Sections())
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.Misc.VirtualSize)
                return rva - section.VirtualAddress + section.PointerToRawData;
        return bytes_.size(); // nowhere
    }
    DWORD SlotSize() const { return wide_ ? 8 : 4; }
    // A pointer-sized entry of an import table; 0 past the file's end.
    ULONGLONG Slot(DWORD rva) const {
        if (wide_)
            return At<ULONGLONG>(Offset(rva)) ? *At<ULONGLONG>(Offset(rva)) : 0;
        return At<DWORD>(Offset(rva)) ? *At<DWORD>(Offset(rva)) : 0;
    }
    bool IsOrdinal(ULONGLONG slot) const {
        return wide_ ? (slot & IMAGE_ORDINAL_FLAG64) : (slot & IMAGE_ORDINAL_FLAG32);
    }
    // Whether the address `va` lies in an executable section of the image.
    bool IsCode(ULONGLONG va) const {
        for (const IMAGE_SECTION_HEADER& section : Sections())
            if ((section.Characteristics & IMAGE_SCN_MEM_EXECUTE) &&
                va >= imageBase_ + section.VirtualAddress &&
                va < imageBase_ + section.VirtualAddress + section.Misc.VirtualSize)
                return true;
        return false;
    }
    std::string Text(DWORD rva) const {
        const size_t offset = Offset(rva);
        if (offset >= bytes_.size())
            return {};
        return std::string(bytes_.c_str() + offset,
                           strnlen(bytes_.c_str() + offset, bytes_.size() - offset));
    }
    static std::string Upper(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return char(std::toupper(c)); });
        return text;
    }

    std::string bytes_;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
    bool wide_ = false;
    ULONGLONG imageBase_ = 0;
    IMAGE_DATA_DIRECTORY imports_ = {};
};

// The DLLs the loader brings in before the program runs; the Common Controls
// load after it has kept DLL searches to the system folder, and the file
// dialog's, the shell's, COM's and the network's only for the actions that need them.
const std::set<std::string> kStartUpDlls = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",
                                            "ADVAPI32.DLL", "MSVCRT.DLL"};

// Both builds: what is resolved late must be reachable, in the shipped one too.
TEST(BuiltPrograms, ImportOnlyWhatStartUpNeedsAndReachEverythingLoadedLater) {
    for (const std::wstring& program : {kShippedProgram, test::ProgramPath()}) {
        const PeFile file(test::ReadFileBytesIfAny(program));
        if (!file.headers()) {
            ADD_FAILURE() << "cannot read " << testing::PrintToString(program)
                          << "; 'make build' makes both";
            continue;
        }
        for (const auto& [dll, names] : file.Imports())
            EXPECT_TRUE(kStartUpDlls.count(dll))
                << dll << " in " << testing::PrintToString(program);
        EXPECT_EQ(file.UnreachableDelayedImports(), std::vector<std::string>())
            << testing::PrintToString(program);
    }
}

// Under Wine, the DLL override makes a DLL beside the program win, as on
// Windows; uxtheme.dll is one that loads once the program runs.
TEST(BuiltPrograms, LoadNoDllPlantedBesideThem) {
    test::ScratchFolder downloads;
    const std::wstring program = downloads / L"Sheenwright.exe";
    const std::wstring planted = downloads / L"uxtheme.dll";
    ASSERT_TRUE(CopyFileW(test::ProgramPath().c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW(test::BesideThisProgram(L"planted_dll.dll").c_str(), planted.c_str(), FALSE));
    const test::RegistryValueScope preferPlanted(
        HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Sheenwright.exe\\DllOverrides",
        L"uxtheme", L"native,builtin");
    EXPECT_TRUE(test::RunningApp(L"", program).Close());
    EXPECT_EQ(GetFileAttributesW((planted + L".loaded").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the planted DLL was loaded";
}

class ShippedProgram : public testing::Test {
  protected:
    void SetUp() override {
        if (GetFileAttributesW(kShippedProgram.c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "the 32-bit build is not there; 'make build' makes it";
        ASSERT_NE(file_.headers(), nullptr);
        ASSERT_EQ(file_.headers()->Signature, DWORD(IMAGE_NT_SIGNATURE));
    }
    PeFile file_{test::ReadFileBytesIfAny(kShippedProgram)};
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

TEST_F(ShippedProgram, NeedsNothingNewerThanXp) {
    // Functions the MinGW runtime or the standard library may reach for, which XP does not have.
    const std::set<std::string> newerThanXp = {"GetTickCount64",
                                               "GetProcessId",
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
