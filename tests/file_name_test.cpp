// Which names may become a file, and the form long paths are opened by.
#include "platform/file_name.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

TEST(NewFileName, DeviceNamesAreRefusedWhateverFollowsThem) {
    for (const wchar_t* path :
         {L"C:\\x\\CON.manifest", L"C:\\x\\nul.exe.manifest", L"C:\\x\\Com7.manifest",
          L"C:\\x\\LPT9.txt.manifest", L"C:\\x\\AUX .exe.manifest", L"prn.manifest",
          L"C:conout$.manifest", L"x/NUL.manifest"})
        EXPECT_EQ(CheckNewFileName(path), DWORD(ERROR_INVALID_NAME))
            << testing::PrintToString(std::wstring(path));
}

TEST(NewFileName, NamesThatOnlyResembleDevicesAreFine) {
    for (const wchar_t* path :
         {L"C:\\x\\CONSOLE.exe.manifest", L"C:\\x\\COM0.manifest", L"C:\\x\\LPT10.manifest",
          L"C:\\x\\null.manifest", L"C:\\NUL\\tool.exe.manifest", L".manifest",
          L"C:\\x\\my CON.exe.manifest"})
        EXPECT_EQ(CheckNewFileName(path), DWORD(ERROR_SUCCESS))
            << testing::PrintToString(std::wstring(path));
}

TEST(NewFileName, ForbiddenCharactersInTheNameAreRefused) {
    for (const wchar_t* name : {L"a<b", L"a>b", L"a:b", L"a\"b", L"a|b", L"a?b", L"a*b", L"a\tb"})
        EXPECT_EQ(CheckNewFileName(L"C:\\x\\" + std::wstring(name) + L".manifest"),
                  DWORD(ERROR_INVALID_NAME))
            << testing::PrintToString(std::wstring(name));
    // The drive's colon is no part of the name.
    EXPECT_EQ(CheckNewFileName(L"C:tool.exe.manifest"), DWORD(ERROR_SUCCESS));
}

TEST(NewFileName, OnlyWholeSurrogatePairsAreAccepted) {
    EXPECT_EQ(CheckNewFileName(L"C:\\x\\\xD83D\xDE00.manifest"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(CheckNewFileName(L"C:\\x\\\xD83D.manifest"), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(CheckNewFileName(L"C:\\x\\\xDE00\xD83D.manifest"), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(CheckNewFileName(L"C:\\\xD800x\\tool.manifest"), DWORD(ERROR_INVALID_NAME));
}

TEST(NewFileName, OnlyPathFormsThatLeadToADriveOrAShareAreAccepted) {
    const std::pair<const wchar_t*, DWORD> cases[] = {
        {L"\\\\.\\PhysicalDrive0.manifest", ERROR_INVALID_NAME},
        {L"//./pipe/name.manifest", ERROR_INVALID_NAME},
        {L"//?/C:/x/tool.exe.manifest", ERROR_INVALID_NAME}, // read as \\.\ by Windows
        {L"\\??\\C:\\x\\tool.exe.manifest", ERROR_INVALID_NAME},
        {L"\\\\?\\pipe\\name.manifest", ERROR_INVALID_NAME},
        {L"\\\\?\\GLOBALROOT\\Device\\Null.manifest", ERROR_INVALID_NAME},
        {L"\\\\?\\C:tool.exe.manifest", ERROR_INVALID_NAME},
        {L"\\\\?\\UNC\\server\\PIPE\\name.manifest", ERROR_INVALID_NAME},
        {L"\\\\server\\pipe\\name.manifest", ERROR_INVALID_NAME},
        {L"\\\\server\\MailSlot\\name.manifest", ERROR_INVALID_NAME},
        {L"\\\\?\\C:\\x\\tool.exe.manifest", ERROR_SUCCESS},
        {L"\\\\?\\UNC\\server\\share\\tool.exe.manifest", ERROR_SUCCESS},
        {L"\\\\?\\Volume{0a1b2c3d-0000-1111-2222-333344445555}\\tool.exe.manifest", ERROR_SUCCESS},
        {L"\\\\server\\share\\tool.exe.manifest", ERROR_SUCCESS},
        {L"\\\\server\\pipes\\tool.exe.manifest", ERROR_SUCCESS},
        {L"C:\\pipe\\tool.exe.manifest", ERROR_SUCCESS},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(CheckNewFileName(path), expected) << testing::PrintToString(std::wstring(path));
}

TEST(FullPath, ShortPathsKeepThePlainForm) {
    std::wstring full;
    ASSERT_EQ(FullPathForCreate(L"C:\\Apps\\tool.exe.manifest", full), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(full, L"C:\\Apps\\tool.exe.manifest");
}

TEST(FullPath, LongPathsTakeTheExtendedForm) {
    const std::wstring folder = L"C:\\" + std::wstring(300, L'd');
    std::wstring full;
    ASSERT_EQ(FullPathForCreate(folder + L"\\tool.exe.manifest", full), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(full, L"\\\\?\\" + folder + L"\\tool.exe.manifest");

    const std::wstring share = L"\\\\server\\share\\" + std::wstring(300, L's');
    ASSERT_EQ(FullPathForCreate(share + L"\\t.manifest", full), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(full, L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L's') + L"\\t.manifest");
}

TEST(FullPath, BeyondWhatWindowsAcceptsIsTooLong) {
    std::wstring full;
    EXPECT_EQ(FullPathForCreate(L"C:\\" + std::wstring(40000, L'p'), full),
              DWORD(ERROR_FILENAME_EXCED_RANGE));
}

} // namespace
} // namespace sheen
