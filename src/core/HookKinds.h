#pragma once
// The hook kinds AttachReceiver takes. They are the library's own numbers, shared with the
// programs that register, not the system's WH_* values: the CBT kind is 4 (WH_CBT is 5).
constexpr int kCBTHookKind = 4;
