#pragma once

namespace sheen::test {

// Makes this program's calls of the system function `name` go to
// `replacement`, for failures the system makes only now and then (a virus
// scanner's), and returns what they went to before: swap that back when done.
void* SwapImport(const char* name, void* replacement);

} // namespace sheen::test
