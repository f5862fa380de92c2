// A file a step made is taken back when the step does not finish, but never
// while it may be the last copy of what another file held.
#include "platform/temporary_file.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <optional>

namespace sheen {
namespace {

using test::ReadFileBytesIfAny;
using test::ScratchFolder;
using test::WriteFileBytes;

TEST(ScopedDeletion, DeletesUnlessKeptAndOnlyWhileTheOtherHoldsTheSameBytes) {
    const struct {
        const char* what;
        bool keep;
        std::optional<std::string> other; // none: no condition
        bool deleted;
    } cases[] = {
        {"unconditional", false, std::nullopt, true},
        {"kept", true, std::nullopt, false},
        {"kept though the same", true, "held bytes", false},
        {"the same bytes", false, "held bytes", true},
        {"a shorter other", false, "held", false},
        {"a longer other", false, "held bytes and more", false},
        {"one byte apart", false, "held bytez", false},
        {"an empty other", false, "", false},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::wstring file = folder / L"made.bak";
        const std::wstring other = folder / L"program.exe";
        WriteFileBytes(file, "held bytes");
        if (c.other)
            WriteFileBytes(other, *c.other);
        {
            ScopedDeletion deletion(file, c.other ? other : std::wstring());
            if (c.keep)
                deletion.Keep();
        }
        EXPECT_EQ(ReadFileBytesIfAny(file).empty(), c.deleted) << c.what;
    }
}

TEST(ScopedDeletion, AnAbsentOtherKeepsTheFile) {
    ScratchFolder folder;
    const std::wstring file = folder / L"made.bak";
    WriteFileBytes(file, "held bytes");
    { const ScopedDeletion deletion(file, folder / L"gone.exe"); }
    EXPECT_EQ(ReadFileBytesIfAny(file), "held bytes");
}

} // namespace
} // namespace sheen
