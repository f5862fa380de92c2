// Times Sheenwright from outside, as tools/run-bench asks (see there):
//
//   bench_driver [--runs N] [--creates N] [--settle MS]
//
// Start-up: Sheenwright and the bare window, started alternately N times each
// (after one untimed start of each), from CreateProcessW until the window is
// visible and answers a message (for Sheenwright: its status bar tells the
// length of its text, which must not be empty). Each start waits
// MS (300) after the last program ended: the wineserver, the X server and
// Wine's explorer are still busy with its end for a while, and without the
// pause that work lands on whichever program starts next. Memory: private
// bytes and working set of each once it waits for input, medians over the
// same runs. Create: from posting BM_CLICK to Creat until the message box is
// visible, N times for one target (a copy of Sheenwright). Prints one
// "key values..." line per result; exits 1 if anything could not be measured.
#include "bench/bare_window.h"
#include "bench/launched_program.h"
#include "bench/stopwatch.h"
#include "resources/product.h"
#include "support/app_driver.h"
#include "support/message_box_reader.h"
#include "support/scratch_folder.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace sheen::bench {
namespace {

constexpr wchar_t kMainWindowClass[] = L"" SHEENWRIGHT_WINDOW_CLASS;
constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr double kPatienceMs = 30000; // a cold Wine may take long to show a window

// Sheenwright fills its status bar before it shows the window, so this
// normally holds at the first look; it is checked all the same.
bool StatusBarHasText(HWND main) {
    const HWND bar = ::FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
    // Simple mode answers under index 0 in Wine and SB_SIMPLEID in Windows.
    for (const WPARAM part : {WPARAM(0), WPARAM(SB_SIMPLEID)}) {
        DWORD_PTR length = 0;
        if (bar &&
            ::SendMessageTimeoutW(bar, SB_GETTEXTLENGTHW, part, 0, SMTO_ABORTIFHUNG, 5000,
                                  &length) &&
            LOWORD(length) > 0)
            return true;
    }
    return false;
}

// The bare window is ready once visible and answering. Answering matters:
// ShowWindow makes a window visible well before it returns (under Wine some
// 15 to 20 ms), and a thread answers a sent message, such as the status bar
// query, only when it looks at its queue again, just after. Without a message
// here too, the two clocks would stop at different points of a start.
bool Answers(HWND window) {
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr) != 0;
}

struct Program {
    const char* name;
    std::wstring path;
    const wchar_t* windowClass;
    bool (*ready)(HWND);
    std::vector<double> startupMs = {};
    std::vector<double> privateBytes = {}, workingSet = {};
};

// Returns false if the program did not become ready.
bool StartOnce(Program& program, bool record, DWORD settleMs) {
    ::Sleep(settleMs);
    LaunchedProgram run(program.path, program.windowClass, program.ready, kPatienceMs);
    if (!run.ready())
        return false;
    if (record) {
        program.startupMs.push_back(run.startupMs());
        std::printf("sample startup %s %.3f\n", program.name, run.startupMs());
        const Memory memory = run.MemoryOnceIdle();
        program.privateBytes.push_back(double(memory.privateBytes));
        program.workingSet.push_back(double(memory.workingSet));
    }
    return true;
}

// Times `count` Creates to one target; returns the number that failed.
int TimeCreates(const std::wstring& program, int count, DWORD settleMs,
                std::vector<double>& samples) {
    const LaunchedProgram sheenwright(program, kMainWindowClass, StatusBarHasText, kPatienceMs);
    if (!sheenwright.ready())
        return count;
    const DWORD processId = sheenwright.processId();
    const test::RunningApp app(sheenwright.main()); // works the window; `sheenwright` closes it
    const test::ScratchFolder folder(L"bench");
    // A real program with a manifest of its own, so that each Create reads its
    // header and that manifest and touches it, as for the programs users pick.
    const std::wstring target = folder / L"target.exe";
    if (!::CopyFileW(program.c_str(), target.c_str(), FALSE))
        return count;
    const HWND create = app.Button(L"Creat");
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        // Creat over its own script would first offer to take it away.
        ::DeleteFileW((target + L".manifest").c_str());
        ::Sleep(settleMs);
        app.SetPath(target);
        const Stopwatch clock;
        app.Click(create);
        const bool shown = PollUntil(
            [&] { return test::FindVisibleWindow(kMessageBoxClass, processId); }, kPatienceMs);
        const double elapsed = clock.ElapsedMs();
        if (!shown)
            return failures + count - i;
        const auto box = test::WaitForMessageBox(processId, 0); // reads the box found above
        if (box && box->text.rfind(L"Style script created successfully.", 0) == 0) {
            samples.push_back(elapsed);
            std::printf("sample create %.3f\n", elapsed);
        } else {
            ++failures;
        }
        if (box)
            test::DismissMessageBox(*box);
        if (!PollUntil(
                [&] {
                    return !test::FindVisibleWindow(kMessageBoxClass, processId) &&
                           ::IsWindowEnabled(app.main());
                },
                kPatienceMs))
            return failures + count - i - 1;
    }
    return failures;
}

// What one Sleep(1) in PollUntil really waits: the resolution of every time here.
double PollPeriodMs() {
    constexpr int kSleeps = 100;
    const Stopwatch clock;
    for (int i = 0; i < kSleeps; ++i)
        ::Sleep(1);
    return clock.ElapsedMs() / kSleeps;
}

void PrintSummary(const char* key, const std::vector<double>& samples) {
    const Summary summary = Summarise(samples);
    std::printf("%s %.3f %.3f %.3f %zu\n", key, summary.median, summary.min, summary.max,
                samples.size());
}

int Run(int runs, int creates, DWORD settleMs) {
    Program sheenwright{"sheenwright", test::ProgramPath(), kMainWindowClass, StatusBarHasText};
    Program bare{"bare", test::BesideThisProgram(L"bare_window.exe"), kBareWindowClass, Answers};
    std::printf("poll %.3f\n", PollPeriodMs());

    int failures = 0;
    // The untimed first round leaves both programs' files in the caches.
    for (int round = 0; round <= runs; ++round)
        for (Program* program : {&sheenwright, &bare})
            failures += StartOnce(*program, round > 0, settleMs) ? 0 : 1;
    for (const Program* program : {&sheenwright, &bare}) {
        PrintSummary(("startup " + std::string(program->name)).c_str(), program->startupMs);
        std::printf("memory %s %.0f %.0f\n", program->name, Summarise(program->privateBytes).median,
                    Summarise(program->workingSet).median);
    }

    std::vector<double> createMs;
    failures += TimeCreates(sheenwright.path, creates, settleMs, createMs);
    PrintSummary("create", createMs);
    std::printf("failures %d\n", failures);
    return failures == 0 ? 0 : 1;
}

} // namespace
} // namespace sheen::bench

int wmain(int argc, wchar_t** argv) {
    int runs = 21, creates = 200, settleMs = 300;
    for (int i = 1; i < argc; i += 2) {
        const std::wstring option = argv[i];
        const int value = i + 1 < argc ? std::wcstol(argv[i + 1], nullptr, 10) : -1;
        if (option == L"--runs" && value > 0)
            runs = value;
        else if (option == L"--creates" && value > 0)
            creates = value;
        else if (option == L"--settle" && value >= 0)
            settleMs = value;
        else {
            std::fprintf(stderr, "usage: bench_driver [--runs N] [--creates N] [--settle MS]\n");
            return 2;
        }
    }
    return sheen::bench::Run(runs, creates, DWORD(settleMs));
}
