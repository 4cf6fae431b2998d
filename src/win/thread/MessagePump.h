#pragma once
// The one pump for the messages waiting on the calling thread. Each caller says what a WM_QUIT
// means to it, since a nested pump must not swallow the quit its outer loop ends on.
#include <windows.h>

#include <functional>

enum class TQuitRule {
  qrRepost,  // the pump ends and posts the quit again, for the loop outside it
  qrIgnore,  // the quit is dropped and the pump goes on (the caller ends on a mark of its own)
  qrStop,    // the pump ends at the quit and leaves it taken
};

// Translates and dispatches the waiting messages until none is left, a WM_QUIT ends the pump
// under rule, or stopWhen (asked before each message) holds. Answers whether a WM_QUIT ended it.
bool PumpMessages(TQuitRule rule, const std::function<bool()>& stopWhen = {});
