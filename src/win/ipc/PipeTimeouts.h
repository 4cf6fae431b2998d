#pragma once
// The time limits both ends of a connection rely on.
#include <windows.h>

// A server closes a connection on which the next request has not begun within this time after
// the connection began or the last reply went out, and one whose request, once begun, has not
// arrived whole within it; a reply the client does not take within it ends the connection too.
inline constexpr DWORD kConnectionIdleTimeoutMs = 5000;
// A client does not send on a connection it has left idle this long, since the server may be
// closing it at that moment: it opens a new one first. Half the server's limit leaves the
// request the other half to arrive.
inline constexpr DWORD kStaleConnectionMs = kConnectionIdleTimeoutMs / 2;
