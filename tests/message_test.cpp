// What the user is told after a Create, read back from the real message box.
#include "app/outcome_text.h"
#include "platform/error_text.h"
#include "platform/message_box.h"
#include "stylescript/reasons.h"
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

// What the Create handler does once the write needs no administrator.
void ShowCreateOutcome(const std::wstring& target) {
    ShowMessage(nullptr, StyleScriptOutcomeText(WriteStyleScriptFile(target)));
}

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
    EXPECT_EQ(StyleScriptOutcomeText(StyleScriptOutcome()), kSuccess);
}

TEST(CreateMessage, FailureIsTheErrorsDescriptionAlone) {
    EXPECT_EQ(StyleScriptOutcomeText({ERROR_PATH_NOT_FOUND, L"", false, false, false}),
              ErrorText(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(
        StyleScriptOutcomeText({ERROR_ACCESS_DENIED, L"tool.exe.manifest.bak", true, true, true}),
        ErrorText(ERROR_ACCESS_DENIED));
}

// The system's codes read as the system's words whatever step failed; only
// Sheenwright's own reasons have sentences of their own.
TEST(OutcomeMessage, OnlySheenwrightsOwnReasonsHaveItsSentences) {
    struct Case {
        StyleScriptAction action;
        DWORD error;
        std::wstring told;
    };
    const Case cases[] = {
        {StyleScriptAction::embed, ERROR_SHARING_VIOLATION, ErrorText(ERROR_SHARING_VIOLATION)},
        {StyleScriptAction::embed, kProgramInUse,
         L"The program is running or open in another program: it was left as it is."},
        {StyleScriptAction::embed, ERROR_CRC, ErrorText(ERROR_CRC)},
        {StyleScriptAction::create, kFolderChangedError,
         L"The folder changed while Sheenwright was working in it."},
        {StyleScriptAction::remove, kProgramChangedSince,
         L"The program has changed since Sheenwright added the visual style to it, so its "
         L"earlier copy was not put back: nothing was removed."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StyleScriptOutcomeText(StyleScriptFailure(c.action, c.error)), c.told) << c.error;
}

TEST(CreateMessage, EachNoteIsOneMoreLineAfterTheSuccessInAFixedOrder) {
    const std::wstring backup = test::BackupNote(L"tool.exe.manifest.bak2");
    const std::wstring& embedded = test::kEmbeddedManifestNote;
    const std::wstring& styled = test::kAlreadyStyledNote;
    const std::wstring& restart = test::kRestartNote;
    struct Case {
        StyleScriptOutcome outcome;
        std::wstring notes;
    };
    const Case cases[] = {
        // error, backup, embedded manifest wins, already styled, touch failed
        {{0, L"tool.exe.manifest.bak2", false, false, false}, backup},
        {{0, L"", true, false, false}, embedded},
        {{0, L"", true, true, false}, embedded + styled},
        {{0, L"", false, true, false}, L""}, // the style counts only where that manifest is used
        {{0, L"", false, false, true}, restart},
        {{0, L"tool.exe.manifest.bak2", true, true, true}, backup + embedded + styled + restart},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StyleScriptOutcomeText(c.outcome), kSuccess + c.notes)
            << testing::PrintToString(c.notes);
}

TEST(CreateMessage, SuccessIsShownInAPlainOkBoxAfterTheFileIsComplete) {
    ScratchFolder folder;
    const std::wstring target = folder / L"tool.exe";
    const auto box = CaptureMessageBox([&] { ShowCreateOutcome(target); });
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, kSuccess);
    test::ExpectPlainOkBox(*box);
    EXPECT_EQ(test::ReadFileBytes(target + L".manifest").size(), 531u);
}

TEST(CreateMessage, FailureIsShownInAPlainOkBoxWithTheSystemText) {
    ScratchFolder folder;
    const auto box = CaptureMessageBox([&] { ShowCreateOutcome(folder / L"absent\\tool.exe"); });
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, ErrorText(ERROR_PATH_NOT_FOUND));
    test::ExpectPlainOkBox(*box);
    EXPECT_TRUE(folder.Names().empty());
}

} // namespace
} // namespace sheen
