// What the executable carries: icon, version record and its own manifest.
#include "support/app_driver.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace sheen {
namespace {

class ProgramResources : public testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(module_, nullptr) << "error " << GetLastError(); }
    void TearDown() override {
        if (module_)
            FreeLibrary(module_);
    }

    std::string Resource(const wchar_t* type, const wchar_t* name) const {
        const HRSRC found = FindResourceW(module_, name, type);
        if (!found)
            return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }

    HMODULE module_ =
        LoadLibraryExW(test::ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
};

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, IconHoldsThreeSizesAtTwoDepths) {
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
    std::set<std::pair<int, int>> images;
    for (WORD i = 0; i < count; ++i) {
        const auto* entry = reinterpret_cast<const GroupIconEntry*>(group.data() + 6) + i;
        EXPECT_EQ(entry->width, entry->height);
        images.insert({entry->width, entry->bitCount});
    }
    EXPECT_EQ(images, (std::set<std::pair<int, int>>{
                          {16, 8}, {16, 32}, {32, 8}, {32, 32}, {48, 8}, {48, 32}}));
}

TEST_F(ProgramResources, VersionRecordIsOnePointZeroRevisionOneInUsEnglish) {
    const std::string record = Resource(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    ASSERT_FALSE(record.empty());
    std::string copy = record; // VerQueryValueW wants writable memory
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 1u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 1u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(*translation, 0x04B00409u);

    const std::map<std::wstring, std::wstring> expected = {
        {L"Comments", L"Upgrade all your programs to the new Windows XP style."},
        {L"CompanyName", L"Corvatt"},
        {L"ProductName", L"Sheenwright"},
        {L"FileVersion", L"1.00.0001"},
        {L"ProductVersion", L"1.00.0001"},
        {L"InternalName", L"Sheenwright"},
        {L"OriginalFilename", L"Sheenwright.exe"},
    };
    for (const auto& [name, value] : expected) {
        wchar_t* text = nullptr;
        const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
        ASSERT_TRUE(
            VerQueryValueW(copy.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << testing::PrintToString(name);
        EXPECT_EQ(std::wstring(text), value);
    }
}

TEST_F(ProgramResources, OwnManifestAsksForVisualStylesDpiAwarenessAndNoElevation) {
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    for (const char* part :
         {R"(name="Microsoft.Windows.Common-Controls")", R"(version="6.0.0.0")",
          R"(publicKeyToken="6595b64144ccf1df")", R"(level="asInvoker")", ">true</dpiAware>",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{e2011457-1546-43c5-a5fe-008deee3d3f0}"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

} // namespace
} // namespace sheen
