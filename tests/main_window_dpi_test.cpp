// The window at a higher density: everything scales from the same layout.
#include "support/app_driver.h"
#include "support/registry_value.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

using test::ControlInfo;
using test::Rect;
using test::RunningApp;

bool Overlap(const Rect& a, const Rect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

bool Inside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top &&
           inner.left + inner.width <= outer.left + outer.width &&
           inner.top + inner.height <= outer.top + outer.height;
}

TEST(MainWindowAt144Dpi, ScalesEveryPlaceWithoutOverlapOrClipping) {
    // The DPI that programs started from now on see.
    const test::RegistryValueScope dpi(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels",
                                       DWORD(144));
    RunningApp app;
    ASSERT_TRUE(app.started());

    RECT client = {};
    GetClientRect(app.main(), &client);
    EXPECT_EQ(client.right, 441);  // 4410 twips
    EXPECT_EQ(client.bottom, 236); // 2355 twips, rounded
    const Rect area{0, 0, client.right, client.bottom};

    const auto controls = app.Controls();
    ASSERT_EQ(controls.size(), 8u);
    const ControlInfo* frame = nullptr;
    for (const ControlInfo& control : controls)
        if ((control.style & BS_TYPEMASK) == BS_GROUPBOX && control.windowClass == L"Button")
            frame = &control;
    ASSERT_NE(frame, nullptr);

    const auto rectOf = [&](const wchar_t* windowClass) {
        for (const ControlInfo& control : controls)
            if (control.windowClass == windowClass)
                return control.rect;
        return Rect{};
    };
    // Half again as large as at 96 DPI, each edge rounded on its own.
    EXPECT_EQ(frame->rect, (Rect{12, 12, 410, 122}));
    EXPECT_EQ(rectOf(L"Edit"), (Rect{24, 72, 266, 29}));
    EXPECT_EQ(rectOf(L"msctls_statusbar32"), (Rect{0, 210, 441, 26}));

    for (size_t i = 0; i < controls.size(); ++i) {
        const ControlInfo& a = controls[i];
        EXPECT_TRUE(Inside(a.rect, area)) << i;
        if (&a == frame)
            continue;
        // Whatever reaches into the frame's height belongs inside it.
        if (a.rect.top < frame->rect.top + frame->rect.height) {
            EXPECT_TRUE(Inside(a.rect, frame->rect)) << "inside the frame: " << i;
        }
        for (size_t j = i + 1; j < controls.size(); ++j) {
            if (&controls[j] != frame) {
                EXPECT_FALSE(Overlap(a.rect, controls[j].rect)) << i << " and " << j;
            }
        }
    }
}

} // namespace
} // namespace sheen
