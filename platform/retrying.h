#pragma once
// Waiting out the virus scanners and indexers that hold a fresh file for a
// moment.

#include <windows.h>

namespace sheen {

// Whether a denied access may pass by itself: Windows reports a file that a
// scanner is just holding or deleting so to a rename that moves or replaces it.
enum class AccessDenied { stays, mayPass };

// Out of line, so that code outside platform/ that retries reaches the system
// only through here.
void PauseBeforeRetry(DWORD milliseconds);

// Runs `step` again while it fails in a way that passes by itself.
template <typename Step> DWORD Retrying(AccessDenied accessDenied, Step step) {
    // Virus scanners and indexers open new files for a moment; a sharing
    // violation then passes within a fraction of a second.
    constexpr int kAttempts = 20;
    constexpr DWORD kPauseMs = 50;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        error = step();
        const bool passes = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                            (accessDenied == AccessDenied::mayPass && error == ERROR_ACCESS_DENIED);
        if (!passes)
            return error;
        PauseBeforeRetry(kPauseMs);
    }
    return error;
}

} // namespace sheen
