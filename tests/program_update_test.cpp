// The visual style added to a program's own manifest, where Windows reads
// that instead of the style script: the program kept byte for byte, changed
// only there, and brought back by undo.
#include "platform/error_text.h"
#include "platform/pe_checksum.h"
#include "platform/pe_image.h"
#include "platform/resource_writer.h"
#include "platform/unique_handle.h"
#include "stylescript/manifest_merge.h"
#include "stylescript/program_update.h"
#include "stylescript/target_program.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/message_box_reader.h"
#include "support/program_image.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <imagehlp.h>

#include <cstddef>
#include <map>
#include <set>

namespace sheen {
namespace {

using test::kLinkerManifest;
using test::kTrustInfoManifest;
using test::LinkedLayout;
using test::LinkedProgramBytes;
using test::MakeProbe;
using test::ReadFileBytes;
using test::ScratchFolder;
using test::WriteFileBytes;

const std::wstring kAddedMessage = L"The visual style was added to the program's own manifest.\r"
                                   L"The program as it was is kept as tool.exe.bak.";

// The resource `type` `name` in `language` of the program at `path`, as the
// system reads it; empty where it has none.
std::string ResourceOf(const std::wstring& path, LPCWSTR type, LPCWSTR name, WORD language) {
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = module ? FindResourceExW(module, type, name, language) : nullptr;
    std::string bytes;
    if (found)
        bytes.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                     SizeofResource(module, found));
    if (module)
        FreeLibrary(module);
    return bytes;
}

// The headers with the fields the writer may change (platform/resource_writer.h)
// set to zero: whatever else differs in them is a fault.
std::string HeadersBesideChangeable(std::string bytes) {
    const PIMAGE_NT_HEADERS headers = ImageNtHeader(bytes.data());
    if (!headers)
        return "";
    // At the same offsets in PE32 and PE32+ headers.
    headers->OptionalHeader.CheckSum = 0;
    headers->OptionalHeader.SizeOfImage = 0;
    headers->OptionalHeader.SizeOfInitializedData = 0;
    IMAGE_DATA_DIRECTORY* directories =
        headers->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC
            ? reinterpret_cast<PIMAGE_NT_HEADERS32>(headers)->OptionalHeader.DataDirectory
            : headers->OptionalHeader.DataDirectory;
    directories[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size = 0;
    directories[IMAGE_DIRECTORY_ENTRY_BASERELOC].VirtualAddress = 0;
    IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        const std::string name(reinterpret_cast<const char*>(section->Name), 8);
        if (name.starts_with(".rsrc"))
            section->Misc.VirtualSize = section->SizeOfRawData = 0;
        if (name.starts_with(".reloc"))
            section->VirtualAddress = section->PointerToRawData = 0;
    }
    return bytes.substr(0, headers->OptionalHeader.SizeOfHeaders);
}

// A program's parts that the change must leave alone, read by the system's
// own means: the headers but for the fields the change may set, each section
// but the resources' by name with its header fields and bytes (the
// relocations' directory at the same place in its section), the entry point,
// and the other resources the test programs carry, in `language`.
std::map<std::string, std::string> PartsBesideResources(const std::wstring& path,
                                                        WORD language = 0) {
    std::string bytes = ReadFileBytes(path);
    std::map<std::string, std::string> parts;
    const PIMAGE_NT_HEADERS headers = ImageNtHeader(bytes.data());
    if (!headers) {
        ADD_FAILURE() << "no program";
        return parts;
    }
    parts["headers"] = HeadersBesideChangeable(bytes);
    parts["entry point"] = std::to_string(headers->OptionalHeader.AddressOfEntryPoint);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    ULONG size = 0;
    const void* relocations =
        ImageDirectoryEntryToData(bytes.data(), FALSE, IMAGE_DIRECTORY_ENTRY_BASERELOC, &size);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        const std::string name(reinterpret_cast<const char*>(section->Name),
                               strnlen(reinterpret_cast<const char*>(section->Name), 8));
        if (name != ".rsrc")
            parts[name] = std::to_string(section->Misc.VirtualSize) + " " +
                          std::to_string(section->Characteristics) + " " +
                          bytes.substr(section->PointerToRawData, section->SizeOfRawData);
        if (name == ".reloc")
            parts["relocations"] = std::to_string(static_cast<const char*>(relocations) -
                                                  (bytes.data() + section->PointerToRawData)) +
                                   " " + std::to_string(size);
    }
    parts["KEEP"] = ResourceOf(path, RT_RCDATA, L"KEEP", language);
    EXPECT_NE(parts["KEEP"], "") << "the other resource is gone";
    parts["RCDATA 7"] = ResourceOf(path, RT_RCDATA, MAKEINTRESOURCEW(7), language);
    parts["CONFIG 1"] = ResourceOf(path, L"CONFIG", MAKEINTRESOURCEW(1), language);
    return parts;
}

// Through the real window: Create, the question, Yes; then Creat again, Yes.
TEST(ProgramUpdateInTheWindow, YesGivesTheProgramCommonControls6AndUndoBringsItBackByteForByte) {
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe";
    MakeProbe(tool);
    const std::string original = ReadFileBytes(tool);
    const auto parts = PartsBesideResources(tool);
    test::RunningApp app;
    ASSERT_TRUE(app.started());

    app.SetPath(tool);
    app.Click(app.Button(L"Creat"));
    const auto question = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(question.has_value());
    EXPECT_EQ(question->text,
              test::kSuccessMessage + test::kEmbeddedManifestNote +
                  L"\rDo you want Sheenwright to add the visual style to the program's own "
                  L"manifest? The program as it is now is kept as tool.exe.bak.");
    test::ExpectYesNoQuestion(*question);
    // The script beside it is written, and ignored.
    EXPECT_EQ(test::RunProbe(tool), test::kOldControls);
    test::DismissMessageBox(*question, IDYES);
    const auto told = test::ReadAndDismissOkBox(app.processId());
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->text, kAddedMessage);

    EXPECT_EQ(ReadFileBytes(tool + L".bak"), original);
    EXPECT_EQ(test::RunProbe(tool), test::kCommonControls6);
    EXPECT_EQ(PartsBesideResources(tool), parts);
    DWORD headerSum = 0, checkSum = 0;
    EXPECT_EQ(MapFileAndCheckSumW(tool.c_str(), &headerSum, &checkSum), DWORD(CHECKSUM_SUCCESS));
    EXPECT_EQ(headerSum, checkSum);
    EXPECT_EQ(folder.Names(),
              (std::set<std::wstring>{L"tool.exe", L"tool.exe.bak", L"tool.exe.manifest"}));

    const auto removal = app.CreateAnswering(IDYES);
    EXPECT_EQ(removal.question, L"This program already has its style script.\rDo you want to "
                                L"remove it, and put back the program as it was, from "
                                L"tool.exe.bak?");
    EXPECT_EQ(removal.told,
              test::kRemovedMessage + L"\rThe program is back as it was, from tool.exe.bak.");
    EXPECT_EQ(ReadFileBytes(tool), original);
    EXPECT_EQ(folder.Names(), std::set<std::wstring>{L"tool.exe"});
}

// A program Sheenwright would refuse: Create says why below its lines, and asks nothing.
TEST(ProgramUpdateInTheWindow, ARefusedProgramIsToldWhyInsteadOfAsked) {
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe";
    WriteFileBytes(tool,
                   test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64, std::nullopt, kLinkerManifest) +
                       "an archive");
    const std::string before = ReadFileBytes(tool);
    test::RunningApp app;
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.Create(tool),
              test::kSuccessMessage + test::kEmbeddedManifestNote +
                  L"\rThe visual style cannot be added to the program's own manifest: the program "
                  L"carries data after its last section (an installer or a self-extracting "
                  L"archive, for example), which the change would lose.");
    EXPECT_EQ(ReadFileBytes(tool), before);
}

// Whether the sections of the program `bytes` follow each other as a linker
// lays them out (the relocations right after the resources, wherever they
// grew to), and the sizes in its header add up with them.
bool LaidOutAsLinked(std::string bytes) {
    const PIMAGE_NT_HEADERS headers = ImageNtHeader(bytes.data());
    if (!headers)
        return false;
    const IMAGE_OPTIONAL_HEADER& optional = headers->OptionalHeader;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    const auto align = [](DWORD value, DWORD to) { return (value + to - 1) / to * to; };
    DWORD at = optional.SizeOfHeaders;
    DWORD rva = optional.SectionAlignment;
    DWORD initialized = 0;
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->PointerToRawData != at || section->VirtualAddress != rva ||
            section->SizeOfRawData % optional.FileAlignment != 0 ||
            section->Misc.VirtualSize > section->SizeOfRawData)
            return false;
        if (section->Characteristics & IMAGE_SCN_CNT_INITIALIZED_DATA)
            initialized += section->SizeOfRawData;
        at += section->SizeOfRawData;
        rva += align(section->Misc.VirtualSize, optional.SectionAlignment);
    }
    // PE32 and PE32+ alike, in the fields read here.
    return at == bytes.size() && optional.SizeOfImage == rva &&
           optional.SizeOfInitializedData == initialized;
}

// Programs as different linkers lay them out: each changed only where the
// writer may change it, with a right checksum, and back byte for byte on undo.
TEST(ProgramUpdateLayouts, EachChangedOnlyWhereItMayAndUndoneByteForByte) {
    struct Case {
        const char* what;
        std::optional<LinkedLayout> layout; // the probe, where none
        bool grows;
    };
    const Case cases[] = {
        {"relocations after, the manifest fits", LinkedLayout{}, false},
        {"relocations after, the manifest crosses a file alignment",
         LinkedLayout{.freeBytes = 0x20}, true},
        {"relocations after, the manifest crosses a page",
         LinkedLayout{.freeBytes = 0x20, .resourcesSize = 0x1000}, true},
        {"resources last, growing", LinkedLayout{.freeBytes = 0x20, .after = LinkedLayout::nothing},
         true},
        {"resources last, fitting", LinkedLayout{.after = LinkedLayout::nothing}, false},
        {"32-bit, relocations after, moving",
         LinkedLayout{.is64 = false, .freeBytes = 0x20, .resourcesSize = 0x1000}, true},
        {"32-bit, resources last", LinkedLayout{.is64 = false, .after = LinkedLayout::nothing},
         false},
        {"the probe", std::nullopt, true},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::wstring tool = folder / L"tool.exe";
        if (c.layout)
            WriteFileBytes(tool, LinkedProgramBytes(*c.layout, kTrustInfoManifest));
        else
            MakeProbe(tool);
        const std::string original = ReadFileBytes(tool);
        const WORD language = c.layout ? 1033 : MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
        const auto parts = PartsBesideResources(tool, language);
        std::string merged;
        ASSERT_EQ(AddCommonControlsDependency(c.layout ? kTrustInfoManifest : kLinkerManifest,
                                              !c.layout || c.layout->is64 ? "amd64" : "X86",
                                              merged),
                  DWORD(ERROR_SUCCESS));

        std::string output;
        EXPECT_EQ(test::RunCommand(L"/create /embed " + test::Quoted(tool), output), 0u)
            << c.what << ": " << output;
        if (!c.layout) {
            EXPECT_EQ(test::RunProbe(tool), test::kCommonControls6);
        }
        const std::string changed = ReadFileBytes(tool);
        EXPECT_EQ(ResourceOf(tool, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID, language),
                  merged)
            << c.what;
        EXPECT_EQ(PartsBesideResources(tool, language), parts) << c.what;
        EXPECT_EQ(changed.size() > original.size(), c.grows) << c.what;
        if (c.layout) {
            EXPECT_TRUE(LaidOutAsLinked(original)) << c.what;
            EXPECT_TRUE(LaidOutAsLinked(changed)) << c.what;
        }
        DWORD headerSum = 0, checkSum = 0;
        EXPECT_EQ(MapFileAndCheckSumW(tool.c_str(), &headerSum, &checkSum),
                  DWORD(CHECKSUM_SUCCESS));
        EXPECT_EQ(headerSum, checkSum) << c.what;

        EXPECT_EQ(test::RunCommand(L"/remove " + test::Quoted(tool), output), 0u)
            << c.what << ": " << output;
        EXPECT_EQ(ReadFileBytes(tool), original) << c.what;
    }
}

// Our own checksum is imagehlp's, for a header that holds one already and an
// odd length.
TEST(PeChecksum, IsTheSystemsOwn) {
    ScratchFolder folder;
    const std::wstring program = folder / L"odd.exe";
    const size_t checksumAt = 0x80 + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.CheckSum);
    WriteFileBytes(program, test::WithDword(LinkedProgramBytes({.is64 = false}, kTrustInfoManifest),
                                            checksumAt, 0xFFFF1234) +
                                "x");
    PeImage image;
    DWORD ours = 0, headerSum = 0, checkSum = 0;
    ASSERT_EQ(image.Open(program), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ComputePeChecksum(image, ours), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(MapFileAndCheckSumW(program.c_str(), &headerSum, &checkSum), DWORD(CHECKSUM_SUCCESS));
    EXPECT_EQ(ours, checkSum);
}

// `text` in UTF-16 as Windows writes it, after its byte-order mark.
std::string Utf16(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char c : text)
        bytes += std::string{c, '\0'};
    return bytes;
}

TEST(ManifestMerge, AddsTheDependencyInTheManifestsOwnEncodingAndNamespace) {
    const std::string amd64 =
        "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
        "processorArchitecture=\"amd64\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
        "</dependentAssembly></dependency>";
    const std::string linkerEnd = "  </trustInfo>\r\n</assembly>\r\n";
    const std::string linker = kLinkerManifest.substr(0, kLinkerManifest.size() - linkerEnd.size());
    const std::string linkerMerged = linker + "  </trustInfo>\r\n" + amd64 + "</assembly>\r\n";
    std::string utf16 = kLinkerManifest;
    utf16.replace(utf16.find("UTF-8"), 5, "UTF-16");
    std::string utf16Merged = linkerMerged;
    utf16Merged.replace(utf16Merged.find("UTF-8"), 5, "UTF-16");
    const std::string asm1 = "xmlns='urn:schemas-microsoft-com:asm.v1'";
    struct Case {
        const char* what;
        std::string manifest;
        const char* architecture;
        std::string merged; // nothing: refused
        DWORD refusal = kUnreadableManifest;
    };
    const std::string cc6 = "name='Microsoft.Windows.Common-Controls' version='6.0.0.0'/>";
    const Case cases[] = {
        {"UTF-8 without a byte-order mark", kLinkerManifest, "amd64", linkerMerged},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + kLinkerManifest, "amd64",
         "\xEF\xBB\xBF" + linkerMerged},
        {"UTF-16", Utf16(utf16), "amd64", Utf16(utf16Merged)},
        {"a prefixed root",
         "<asmv1:assembly xmlns:asmv1='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>"
         "<asmv1:trustInfo/></asmv1:assembly>",
         "X86",
         "<asmv1:assembly xmlns:asmv1='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>"
         "<asmv1:trustInfo/><asmv1:dependency><asmv1:dependentAssembly><asmv1:assemblyIdentity "
         "type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
         "processorArchitecture=\"X86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
         "</asmv1:dependentAssembly></asmv1:dependency></asmv1:assembly>"},
        {"a default namespace and others, an end tag with a blank",
         "<assembly " + asm1 +
             " xmlns:asmv3='urn:schemas-microsoft-com:asm.v3'><asmv3:application>"
             "<dpiAware "
             "xmlns='http://schemas.microsoft.com/SMI/2005/WindowsSettings'>true</dpiAware>"
             "</asmv3:application></assembly >",
         "amd64",
         "<assembly " + asm1 +
             " xmlns:asmv3='urn:schemas-microsoft-com:asm.v3'><asmv3:application>"
             "<dpiAware "
             "xmlns='http://schemas.microsoft.com/SMI/2005/WindowsSettings'>true</dpiAware>"
             "</asmv3:application>" +
             amd64 + "</assembly >"},
        {"a dependency already, and a comment after the root that looks like its end",
         "<assembly " + asm1 +
             "><dependency><dependentAssembly><assemblyIdentity name='VC90.CRT'"
             " version='9.0.21022.8'/></dependentAssembly></dependency></assembly><!--</"
             "assembly>-->",
         "amd64",
         "<assembly " + asm1 +
             "><dependency><dependentAssembly><assemblyIdentity name='VC90.CRT'"
             " version='9.0.21022.8'/></dependentAssembly></dependency>" +
             amd64 + "</assembly><!--</assembly>-->"},
        {"a root in no namespace", "<assembly manifestVersion='1.0'></assembly>", "amd64",
         "<assembly manifestVersion='1.0'>" +
             std::string(amd64).insert(11, " xmlns=\"urn:schemas-microsoft-com:asm.v1\"") +
             "</assembly>"},
        {"no end tag to add before", "<assembly " + asm1 + "/>", "amd64", ""},
        {"not well-formed", "<assembly " + asm1 + "><trustInfo></assembly>", "amd64", ""},
        {"Common Controls 5.82 already",
         "<assembly " + asm1 +
             "><dependency><dependentAssembly>"
             "<assemblyIdentity name='Microsoft.Windows.Common-Controls' version='5.82.0.0'/>"
             "</dependentAssembly></dependency></assembly>",
         "amd64", "", kOtherCommonControlsVersion},
        // Neither is a dependency the loader reads: the style is still missing.
        {"Common Controls 6 in another namespace",
         "<assembly " + asm1 + "><x:assemblyIdentity xmlns:x='urn:other' " + cc6 + "</assembly>",
         "amd64",
         "<assembly " + asm1 + "><x:assemblyIdentity xmlns:x='urn:other' " + cc6 + amd64 +
             "</assembly>"},
        {"Name= and Version=, which the schema does not write",
         "<assembly " + asm1 +
             "><assemblyIdentity Name='Microsoft.Windows.Common-Controls' "
             "Version='6.0.0.0'/></assembly>",
         "amd64",
         "<assembly " + asm1 +
             "><assemblyIdentity Name='Microsoft.Windows.Common-Controls' "
             "Version='6.0.0.0'/>" +
             amd64 + "</assembly>"},
    };
    for (const Case& c : cases) {
        std::string merged;
        EXPECT_EQ(AddCommonControlsDependency(c.manifest, c.architecture, merged),
                  c.merged.empty() ? c.refusal : DWORD(ERROR_SUCCESS))
            << c.what;
        EXPECT_EQ(merged, c.merged) << c.what;
        // What is merged was not taken for the style already, which Create then offers.
        if (!c.merged.empty()) {
            EXPECT_FALSE(DependsOnCommonControls6(c.manifest)) << c.what;
        }
    }
}

const std::wstring kFaultyProgram = test::BesideThisProgram(L"sheenwright_faulty.exe");

// The file's offset of the DataDirectory entry `index` of ProgramBytes' PE32+ headers.
constexpr size_t DirectoryAt(DWORD index) {
    return 0x40 + offsetof(IMAGE_NT_HEADERS64, OptionalHeader.DataDirectory) +
           index * sizeof(IMAGE_DATA_DIRECTORY);
}

// What is refused leaves the program's bytes as they were, and nothing beside
// it but the script, which is still written.
TEST(ProgramUpdateRefused, EachWithItsSentenceAndTheProgramUntouched) {
    const std::string plain =
        test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64, std::nullopt, kLinkerManifest);
    enum Held { none, readOnly, openElsewhere };
    struct Case {
        const char* what;
        std::string program; // the probe, changed for real, if empty
        Held held;
        const wchar_t* fault; // in the test build, where it fails on purpose
        DWORD exitCode;
        std::wstring told; // the last line
    };
    const Case cases[] = {
        {"signed",
         test::WithDword(test::WithDword(plain, DirectoryAt(IMAGE_DIRECTORY_ENTRY_SECURITY),
                                         DWORD(plain.size())),
                         DirectoryAt(IMAGE_DIRECTORY_ENTRY_SECURITY) + 4, 8) +
             std::string(8, '\0'),
         none, nullptr, ERROR_EXE_CANNOT_MODIFY_SIGNED_BINARY,
         L"The program carries a digital signature, which the change would break: it was left "
         L"as it is."},
        {"data appended", plain + "an archive", none, nullptr, ERROR_EXE_MARKED_INVALID,
         L"The program carries data after its last section (an installer or a self-extracting "
         L"archive, for example), which the change would lose: it was left as it is."},
        {".NET",
         test::ProgramBytes(IMAGE_FILE_MACHINE_I386, COMIMAGE_FLAGS_ILONLY, kLinkerManifest), none,
         nullptr, ERROR_EXE_CANNOT_MODIFY_STRONG_SIGNED_BINARY,
         L"The program is a .NET program, whose own manifest Sheenwright does not change: it was "
         L"left as it is."},
        {"open elsewhere", plain, openElsewhere, nullptr, ERROR_SHARING_VIOLATION,
         L"The program is running or open in another program: it was left as it is."},
        {"read-only", plain, readOnly, nullptr, ERROR_FILE_READ_ONLY,
         L"The program is read-only: it was left as it is."},
        {"unparsable manifest",
         test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64, std::nullopt,
                            "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><trustInfo>"
                            "</assembly>"),
         none, nullptr, ERROR_SXS_MANIFEST_PARSE_ERROR,
         L"The program's own manifest cannot be read as XML: the program was left as it is."},
        {"imports in the resources' section",
         LinkedProgramBytes({.importsInResources = true}, kTrustInfoManifest), none, nullptr,
         kResourcesShareSection,
         L"The program keeps other data that Windows reads in its resources' section, which the "
         L"change would disturb: it was left as it is."},
        {"a section after the resources",
         LinkedProgramBytes({.after = LinkedLayout::data}, kTrustInfoManifest), none, nullptr,
         kSectionAfterResources,
         L"The program has other sections after its resources, which the change would have to "
         L"move: it was left as it is."},
        {"a failure after the copy is written", "", none, L"ProgramCopyWritten",
         ERROR_NOT_SUPPORTED, ErrorText(ERROR_NOT_SUPPORTED)},
        {"a changed manifest the side-by-side loader refuses", "", none, L"SpoilMergedManifest",
         kWouldNotStart,
         L"Windows would not start the program with the changed manifest, so nothing was "
         L"changed: the program was left as it is.\r" +
             ErrorText(ERROR_SXS_CANT_GEN_ACTCTX)},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::wstring tool = folder / L"tool.exe";
        if (c.program.empty())
            MakeProbe(tool);
        else
            WriteFileBytes(tool, c.program);
        const std::string before = ReadFileBytes(tool);
        UniqueFile held;
        if (c.held == openElsewhere)
            held.reset(CreateFileW(tool.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        if (c.held == readOnly)
            SetFileAttributesW(tool.c_str(), FILE_ATTRIBUTE_READONLY);
        SetEnvironmentVariableW(L"SHEENWRIGHT_FAULT", c.fault);
        std::string output;
        EXPECT_EQ(test::RunCommand(L"/create /embed " + test::Quoted(tool), output,
                                   c.fault ? kFaultyProgram : test::ProgramPath()),
                  c.exitCode)
            << c.what;
        SetEnvironmentVariableW(L"SHEENWRIGHT_FAULT", nullptr);
        held.reset();
        SetFileAttributesW(tool.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(output.starts_with(test::OutputLines(test::kSuccessMessage).substr(0, 30)))
            << c.what << ": " << output;
        EXPECT_TRUE(output.ends_with(test::OutputLines(c.told))) << c.what << ": " << output;
        EXPECT_EQ(ReadFileBytes(tool), before) << c.what;
        EXPECT_EQ(folder.Names(), (std::set<std::wstring>{L"tool.exe", L"tool.exe.manifest"}))
            << c.what;
    }
}

// Undo puts back only the program Sheenwright changed, and only as it left it.
TEST(ProgramUpdateUndone, NeverOverAProgramThatChangedSince) {
    enum Change { code, resource, replaced, headerBit, appended, heldOpen, shortName };
    const std::wstring changedSince =
        L"The program has changed since Sheenwright added the visual style to it, so its "
        L"earlier copy was not put back: nothing was removed.";
    const std::set<std::wstring> untouched = {L"tool.exe", L"tool.exe.bak", L"tool.exe.manifest"};
    struct Case {
        const char* what;
        Change change;
        DWORD exitCode;
        std::wstring told;
        std::set<std::wstring> after;
    };
    const Case cases[] = {
        {"its code changed since", code, ERROR_REVISION_MISMATCH, changedSince, untouched},
        {"another resource changed since", resource, ERROR_REVISION_MISMATCH, changedSince,
         untouched},
        {"a header bit set since", headerBit, ERROR_REVISION_MISMATCH, changedSince, untouched},
        {"bytes appended since", appended, ERROR_REVISION_MISMATCH, changedSince, untouched},
        // As an update installs a program of the same name: not ours to take back.
        {"replaced by another",
         replaced,
         ERROR_SUCCESS,
         test::kRemovedMessage,
         {L"tool.exe", L"tool.exe.bak"}},
        {"held open without sharing", heldOpen, ERROR_SHARING_VIOLATION,
         ErrorText(ERROR_SHARING_VIOLATION), untouched},
        // The backups are found under the long name; the script is the short name's.
        {"named by its short name",
         shortName,
         ERROR_SUCCESS,
         L"The program is back as it was, from long tool name.exe.bak.",
         {L"long tool name.exe", L"long tool name.exe.manifest"}},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::wstring tool =
            folder / (c.change == shortName ? L"long tool name.exe" : L"tool.exe");
        MakeProbe(tool);
        const std::string original = ReadFileBytes(tool);
        std::string output;
        ASSERT_EQ(test::RunCommand(L"/create /embed " + test::Quoted(tool), output), 0u) << output;
        std::string changed = ReadFileBytes(tool);
        const PIMAGE_NT_HEADERS headers = ImageNtHeader(changed.data());
        if (c.change == replaced) {
            changed = test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64, std::nullopt, kLinkerManifest);
        } else if (c.change == resource) {
            changed[changed.find("kept as it is")] = 'K';
        } else if (c.change == code) {
            // The last byte of the code section's padding, which the loader maps.
            const IMAGE_SECTION_HEADER& section = *IMAGE_FIRST_SECTION(headers);
            changed[section.PointerToRawData + section.SizeOfRawData - 1] ^= 1;
        } else if (c.change == headerBit) {
            headers->FileHeader.Characteristics ^= IMAGE_FILE_LARGE_ADDRESS_AWARE;
        } else if (c.change == appended) {
            changed += std::string(180, 'a');
        }
        WriteFileBytes(tool, changed);
        UniqueFile held;
        if (c.change == heldOpen)
            held.reset(
                CreateFileW(tool.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        std::wstring named = tool;
        if (c.change == shortName) {
            named.resize(GetShortPathNameW(tool.c_str(), named.data(), DWORD(named.size() + 1)));
            ASSERT_NE(named, tool) << "no short name";
        }
        EXPECT_EQ(test::RunCommand(L"/remove " + test::Quoted(named), output), c.exitCode)
            << c.what;
        held.reset();
        EXPECT_EQ(output, test::OutputLines(c.told)) << c.what;
        EXPECT_EQ(ReadFileBytes(tool), c.change == shortName ? original : changed) << c.what;
        EXPECT_EQ(folder.Names(), c.after) << c.what;
    }
}

} // namespace
} // namespace sheen
