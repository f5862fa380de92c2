#pragma once
// frmMain: the program's one window, its controls and their event handlers.

#include "app/layout.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <exception>
#include <string>

namespace sheen {

class MainWindow {
  public:
    MainWindow() = default;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and its controls, runs Form_Load, and shows it.
    void Create(HINSTANCE instance, int showCommand);
    HWND hwnd() const { return hwnd_.get(); }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void OnCreate();
    void OnCommand(HWND control, WORD notification);
    void OnActivate(WORD state);
    HWND& Handle(Control control);

    // Runs one event handler; an error it did not expect ends only that handler
    // and is shown to the user.
    void Run(void (MainWindow::*handler)(), const char* name);

    // Event handlers.
    void Form_Load();
    void Text1_Change();
    void cmdBrowse_Click();
    void Command1_Click();
    void About_Click();
    void Help_Click();

    void WriteStyleScript(const std::wstring& targetPath);
    std::wstring PathText() const;

    UniqueFont font_;
    UniqueIcon bigIcon_, smallIcon_;
    UniqueWindow hwnd_; // last, so it goes before the font and icons it uses
    HWND focusBeforeDeactivation_ = nullptr;
    std::exception_ptr createError_; // why WM_CREATE failed, if it did

    // Controls, owned by the window: destroyed with it.
    HWND Command1_ = nullptr;
    HWND Frame1_ = nullptr;
    HWND lblPath_ = nullptr;
    HWND Text1_ = nullptr;
    HWND cmdBrowse_ = nullptr;
    HWND About_ = nullptr;
    HWND S_ = nullptr;
    HWND Help_ = nullptr;
};

} // namespace sheen
