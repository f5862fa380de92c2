// The visual style added to a program's own manifest, where Windows reads
// that instead of the style script: the program kept byte for byte, changed
// only there, and brought back by undo.
#include "stylescript/manifest_merge.h"
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

using test::ReadFileBytes;
using test::ScratchFolder;
using test::WriteFileBytes;

// What linkers embed today: the consent prompt's block alone.
const std::string kLinkerManifest =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
    "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\r\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
    "    <security>\r\n"
    "      <requestedPrivileges>\r\n"
    "        <requestedExecutionLevel level='asInvoker' uiAccess='false' />\r\n"
    "      </requestedPrivileges>\r\n"
    "    </security>\r\n"
    "  </trustInfo>\r\n"
    "</assembly>\r\n";

const std::wstring kAddedMessage = L"The visual style was added to the program's own manifest.\r"
                                   L"The program as it was is kept as tool.exe.bak.";

// The probe, with the linker's manifest and one other resource, at `path`.
void MakeProbe(const std::wstring& path) {
    ASSERT_TRUE(
        CopyFileW(test::BesideThisProgram(L"manifest_probe.exe").c_str(), path.c_str(), FALSE));
    test::EmbedResource(path, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID, kLinkerManifest);
    test::EmbedResource(path, RT_RCDATA, L"KEEP", std::string(300, 'k') + "kept as it is");
}

// A program's parts that the change must leave alone, read by the system's
// own means: each section but the resources' by name with its header fields
// and bytes, the entry point, and the RCDATA resource.
std::map<std::string, std::string> PartsBesideResources(const std::wstring& path) {
    std::string bytes = ReadFileBytes(path);
    std::map<std::string, std::string> parts;
    const PIMAGE_NT_HEADERS headers = ImageNtHeader(bytes.data());
    if (!headers) {
        ADD_FAILURE() << "no program";
        return parts;
    }
    parts["entry point"] = std::to_string(headers->OptionalHeader.AddressOfEntryPoint);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        const std::string name(reinterpret_cast<const char*>(section->Name),
                               strnlen(reinterpret_cast<const char*>(section->Name), 8));
        if (name != ".rsrc")
            parts[name] = std::to_string(section->Misc.VirtualSize) + " " +
                          std::to_string(section->Characteristics) + " " +
                          bytes.substr(section->PointerToRawData, section->SizeOfRawData);
    }
    const HMODULE data = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = data ? FindResourceW(data, L"KEEP", RT_RCDATA) : nullptr;
    if (found) {
        const auto* kept = static_cast<const char*>(LockResource(LoadResource(data, found)));
        parts["KEEP"] = std::string(kept, SizeofResource(data, found));
    }
    if (data)
        FreeLibrary(data);
    EXPECT_TRUE(found) << "the other resource is gone";
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

    app.Click(app.Button(L"Creat"));
    const auto removal = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(removal.has_value());
    EXPECT_EQ(removal->text, L"This program already has its style script.\rDo you want to "
                             L"remove it, and put back the program as it was, from "
                             L"tool.exe.bak?");
    test::DismissMessageBox(*removal, IDYES);
    const auto removed = test::ReadAndDismissOkBox(app.processId());
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(removed->text,
              test::kRemovedMessage + L"\rThe program is back as it was, from tool.exe.bak.");
    EXPECT_EQ(ReadFileBytes(tool), original);
    EXPECT_EQ(folder.Names(), std::set<std::wstring>{L"tool.exe"});
}

} // namespace
} // namespace sheen
