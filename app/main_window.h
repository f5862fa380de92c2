#pragma once
// frmMain: the program's one window, its controls and their event handlers.

#include "app/administrator_relay.h"
#include "app/layout.h"
#include "platform/unique_handle.h"

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <exception>
#include <optional>
#include <string>

namespace sheen {

class MainWindow {
  public:
    MainWindow() = default;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and its controls, runs OnLoad, puts `path` (if any)
    // into the path box as Browse would, and shows the window.
    void Create(HINSTANCE instance, int showCommand, const std::wstring& path);
    HWND hwnd() const { return hwnd_.get(); }

    // Which handler a control's notification runs. `name` is how the test
    // build's fault injection calls the handler.
    struct CommandRoute {
        Control control;
        WORD notification;
        void (MainWindow::*handler)();
        const char* name;
    };
    static const std::array<CommandRoute, 5> kCommandRoutes;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void OnCreate();
    void OnCommand(HWND control, WORD notification);
    void OnActivate(WORD state);

    // Runs one event handler; an error it did not expect ends only that handler
    // and is shown to the user.
    template <typename Handler> void RunHandler(const char* name, Handler handler);

    // Event handlers.
    void OnLoad();
    void OnPathBoxChange();
    void OnBrowseClick();
    void OnCreateClick();
    void OnAboutClick();
    void OnHelpClick();
    void OnDropFiles(HDROP drop);

    // Puts a path dropped or given on the command line into the path box, or
    // for a shortcut the file it points to; nothing for one that leads nowhere.
    void ShowPathOrShortcutTarget(const std::wstring& path);

    HWND control(Control which) const { return controls_[RowOf(which)]; }
    std::wstring PathText() const;

    // Carries out `plan` for `path` through an elevated instance of this
    // program. The window is disabled while the instance starts, then waits
    // for it painting, taking no input for its controls but closing if asked;
    // no handler but the path box's runs meanwhile, whatever sends it. Returns
    // what to tell, or nothing when the user declined the consent prompt or
    // closed the window.
    std::optional<RequestOutcome> RunAsAdministrator(const Plan& plan, const std::wstring& path);
    // Carries out `plan` for the program `inspection` found at `path`; where
    // Windows denied it, asks once whether to carry it out as administrator,
    // and for a Create whose program's own manifest wins, whether to add the
    // style to that as well (`styleAsked` then set). Nothing when the user
    // said no.
    std::optional<RequestOutcome> CarryOutOrElevate(Plan plan, const std::wstring& path,
                                                    const Inspection& inspection, bool& styleAsked);

    UniqueFont font_;
    UniqueIcon bigIcon_, smallIcon_;
    UniqueWindow hwnd_; // last, so it goes before the font and icons it uses
    HWND focusBeforeDeactivation_ = nullptr;
    std::exception_ptr createError_; // why WM_CREATE failed, if it did
    RelayWait relayWait_;            // the elevated instance's reply, while it is awaited
    bool relayBusy_ = false; // from the question to the elevated instance's end: no second one
    std::array<HWND, kLayout.size()> controls_ = {}; // owned by the window: destroyed with it
};

inline constexpr std::array<MainWindow::CommandRoute, 5> MainWindow::kCommandRoutes = {{
    {Control::pathBox, EN_CHANGE, &MainWindow::OnPathBoxChange, "OnPathBoxChange"},
    {Control::browseButton, BN_CLICKED, &MainWindow::OnBrowseClick, "OnBrowseClick"},
    {Control::createButton, BN_CLICKED, &MainWindow::OnCreateClick, "OnCreateClick"},
    {Control::aboutButton, BN_CLICKED, &MainWindow::OnAboutClick, "OnAboutClick"},
    {Control::helpButton, BN_CLICKED, &MainWindow::OnHelpClick, "OnHelpClick"},
}};

} // namespace sheen
