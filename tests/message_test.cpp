// What the user is told after a Create, read back from the real message box.
#include "platform/error_text.h"
#include "stylescript/style_script_writer.h"
#include "support/message_box_reader.h"
#include "support/expected_texts.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

using test::CaptureMessageBox;
using test::ScratchFolder;

const std::wstring& kSuccess = test::kSuccessMessage;

TEST(ErrorText, IsTheSystemTextWithoutTrailingLineBreak) {
    for (const DWORD code : {ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                             ERROR_HANDLE_DISK_FULL}) {
        const std::wstring text = ErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), L'\n') << code;
        EXPECT_NE(text.back(), L'\r') << code;
        EXPECT_EQ(text.find(std::to_wstring(code)), std::wstring::npos) << "no number of its own";
    }
}

TEST(CreateMessage, SuccessIsTwoSentencesJoinedByOneCarriageReturn) {
    EXPECT_EQ(StyleScriptOutcomeText(ERROR_SUCCESS), kSuccess);
}

TEST(CreateMessage, FailureIsTheErrorsDescriptionAlone) {
    EXPECT_EQ(StyleScriptOutcomeText(ERROR_PATH_NOT_FOUND), ErrorText(ERROR_PATH_NOT_FOUND));
}

TEST(CreateMessage, SuccessIsShownInAPlainOkBoxAfterTheFileIsComplete) {
    ScratchFolder folder;
    const std::wstring target = folder / L"tool.exe";
    const auto box = CaptureMessageBox([&] { WriteStyleScript(nullptr, target); });
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, kSuccess);
    test::ExpectPlainOkBox(*box);
    EXPECT_EQ(test::ReadFileBytes(target + L".manifest").size(), 531u);
}

TEST(CreateMessage, FailureIsShownInAPlainOkBoxWithTheSystemText) {
    ScratchFolder folder;
    const auto box =
        CaptureMessageBox([&] { WriteStyleScript(nullptr, folder / L"absent\\tool.exe"); });
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, ErrorText(ERROR_PATH_NOT_FOUND));
    test::ExpectPlainOkBox(*box);
    EXPECT_TRUE(folder.Names().empty());
}

} // namespace
} // namespace sheen
