// The keyboard in the real window: Tab order, and Enter and Escape doing nothing.
#include "support/app_driver.h"
#include "support/message_box_reader.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <vector>

namespace sheen {
namespace {

using test::RunningApp;
using test::ScratchFolder;
using test::WaitUntil;

class MainWindowKeys : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(app_.started());
        ASSERT_TRUE(app_.BringToFront());
        ASSERT_EQ(app_.Focus(), app_.PathBox());
    }

    // Presses the key once per expected stop and checks where the focus lands.
    void ExpectFocusCycle(bool shift, const std::vector<HWND>& stops) {
        for (const HWND stop : stops) {
            test::PressKey(VK_TAB, shift ? VK_SHIFT : 0);
            EXPECT_TRUE(WaitUntil([&] { return app_.Focus() == stop; }, 3000))
                << "expected " << test::WindowText(stop).c_str();
        }
    }

    RunningApp app_;
};

TEST_F(MainWindowKeys, TabSkipsCreateWhileItIsDisabled) {
    const HWND path = app_.PathBox(), browse = app_.Button(L"Browse"),
               about = app_.Button(L"About"), help = app_.Button(L"Help");
    ExpectFocusCycle(false, {browse, about, help, path});
    ExpectFocusCycle(true, {help, about, browse, path});
}

TEST_F(MainWindowKeys, CreateJoinsTheCycleBetweenHelpAndThePathBoxOnceEnabled) {
    app_.SetPath(L"C:\\Apps\\tool.exe");
    const HWND path = app_.PathBox(), browse = app_.Button(L"Browse"),
               about = app_.Button(L"About"), help = app_.Button(L"Help"),
               create = app_.Button(L"Creat");
    ExpectFocusCycle(false, {browse, about, help, create, path});
    ExpectFocusCycle(true, {create, help, about, browse, path});
}

TEST_F(MainWindowKeys, EnterAndEscapeInThePathBoxActivateNothing) {
    ScratchFolder folder;
    app_.SetPath(folder / L"tool.exe");
    test::PressKey(VK_RETURN);
    test::PressKey(VK_ESCAPE);
    // Give a wrongly bound button time to act before checking that none did.
    Sleep(1000);
    EXPECT_FALSE(test::WaitForMessageBox(app_.processId(), 0).has_value());
    EXPECT_TRUE(folder.Names().empty());
    EXPECT_TRUE(IsWindowVisible(app_.main()));
    EXPECT_EQ(app_.Focus(), app_.PathBox());
}

} // namespace
} // namespace sheen
