#pragma once
// Time as the benchmark measures it: QueryPerformanceCounter, in milliseconds.

#include <windows.h>

#include <algorithm>
#include <vector>

namespace sheen::bench {

class Stopwatch {
  public:
    Stopwatch() { ::QueryPerformanceCounter(&start_); }
    double ElapsedMs() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return double(now.QuadPart - start_.QuadPart) * 1000.0 / double(Frequency());
    }

  private:
    static LONGLONG Frequency() {
        static const LONGLONG frequency = [] {
            LARGE_INTEGER value;
            ::QueryPerformanceFrequency(&value);
            return value.QuadPart;
        }();
        return frequency;
    }
    LARGE_INTEGER start_;
};

// Polls until `done` holds or `timeoutMs` passes. Sleep(1) rather than a busy
// loop: on a machine with few cores a spinning driver would take the CPU from
// the program it is timing, and from the wineserver both depend on.
template <typename Predicate> bool PollUntil(Predicate done, double timeoutMs) {
    const Stopwatch waited;
    while (!done()) {
        if (waited.ElapsedMs() > timeoutMs)
            return false;
        ::Sleep(1);
    }
    return true;
}

struct Summary {
    double median = 0, min = 0, max = 0;
};

inline Summary Summarise(std::vector<double> samples) {
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    const double median =
        samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
    return {median, samples.front(), samples.back()};
}

} // namespace sheen::bench
