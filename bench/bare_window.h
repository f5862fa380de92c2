#pragma once
// What the benchmark driver and the bare window program agree on.

namespace sheen::bench {

// The bare window's class, by which the driver finds it, as it finds
// Sheenwright by "Sheenwright.frmMain".
inline constexpr wchar_t kBareWindowClass[] = L"Sheenwright.Bench.BareWindow";

} // namespace sheen::bench
