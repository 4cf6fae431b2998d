#pragma once
// A flood against a real process's pipe server: connections up to the cap and one more, left
// idle until the server closes them, and frames at and beyond the server's data cap.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestWait.h"
#include "win/common/Handle.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "win/ipc/PipeTimeouts.h"

namespace testing_support {

// Every bound these checks wait for, with room to spare on a slow machine.
inline constexpr DWORD kFloodWaitMs = 4 * kConnectionIdleTimeoutMs;

inline std::wstring LocalPipePath(const char16_t* name) {
  return L"\\\\.\\pipe\\" + std::wstring(name, name + std::char_traits<char16_t>::length(name));
}

// A connection as raw as a hostile local client makes it, with the access our clients ask for,
// tried for waitMs (0: once). A server has no instance at all for a moment after each accept,
// which the system reports as no pipe: that is tried again, like a busy pipe.
inline UniqueFileHandle OpenRawPipe(const std::wstring& path, DWORD waitMs) {
  const ULONGLONG end = ::GetTickCount64() + waitMs;
  for (;;) {
    UniqueFileHandle pipe(::CreateFileW(path.c_str(), TIPCClient::kPipeAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD err = ::GetLastError();
    const ULONGLONG now = ::GetTickCount64();
    if (pipe || now >= end || (err != ERROR_PIPE_BUSY && err != ERROR_FILE_NOT_FOUND)) {
      ::SetLastError(err);
      return pipe;
    }
    if (!::WaitNamedPipeW(path.c_str(), static_cast<DWORD>(end - now))) ::Sleep(1);
  }
}

// Whether the server ends the connection within ms, without a byte of reply: a look at the
// pipe fails once its far end is gone. Never blocks, so a server that keeps the connection
// fails the check instead of hanging the test.
inline bool ServerClosesWithin(HANDLE pipe, DWORD ms) {
  bool replied = false;
  const bool ended = WaitUntil(
      [&] {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;
        replied = available > 0;
        return replied;
      },
      ms);
  return ended && !replied;
}

// kMaxConnections idle connections are taken, one more finds the pipe busy, and the server
// closes every idle one in time, so the pipe is free again afterwards.
inline void ExpectCapAndIdleTimeOut(const std::wstring& path) {
  std::vector<UniqueFileHandle> held;
  for (LONG i = 0; i < TIPCServer::kMaxConnections; ++i) {
    held.push_back(OpenRawPipe(path, kFloodWaitMs));
    ASSERT_TRUE(held.back()) << "connection " << i << " of the cap: " << ::GetLastError();
  }
  UniqueFileHandle extra = OpenRawPipe(path, 0);
  const DWORD err = ::GetLastError();
  EXPECT_FALSE(extra) << "connection cap + 1 was accepted";
  EXPECT_EQ(err, static_cast<DWORD>(ERROR_PIPE_BUSY));
  for (auto& h : held) EXPECT_TRUE(ServerClosesWithin(h.get(), kFloodWaitMs)) << "an idle connection was kept";
  EXPECT_TRUE(OpenRawPipe(path, kFloodWaitMs)) << "no instance came back after the flood";
}

inline std::vector<std::uint8_t> Le64Bytes(std::int64_t v) {
  std::vector<std::uint8_t> b(8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
  return b;
}

inline bool WriteAllBytes(HANDLE pipe, const std::vector<std::uint8_t>& b) {
  std::size_t done = 0;
  while (done < b.size()) {
    DWORD put = 0;
    if (!::WriteFile(pipe, b.data() + done, static_cast<DWORD>(b.size() - done), &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

// A frame of exactly the server's data cap (of zeros: no fields) is answered with an empty
// reply; one byte more ends the connection before the data is read.
inline void ExpectDataCap(const std::wstring& path, std::int64_t cap) {
  struct Case {
    std::int64_t size;
    bool answered;
  };
  for (const Case c : {Case{cap, true}, Case{cap + 1, false}}) {
    SCOPED_TRACE(c.size);
    UniqueFileHandle pipe = OpenRawPipe(path, kFloodWaitMs);
    ASSERT_TRUE(pipe) << ::GetLastError();
    std::vector<std::uint8_t> frame = Le64Bytes(0);
    const auto size = Le64Bytes(c.size);
    frame.insert(frame.end(), size.begin(), size.end());
    ASSERT_TRUE(WriteAllBytes(pipe.get(), frame));
    if (c.answered) {
      ASSERT_TRUE(WriteAllBytes(pipe.get(), std::vector<std::uint8_t>(static_cast<std::size_t>(c.size), 0)));
      std::vector<std::uint8_t> reply(16, 0xFF);
      std::size_t have = 0;
      while (have < reply.size()) {
        DWORD got = 0;
        if (!::ReadFile(pipe.get(), reply.data() + have, static_cast<DWORD>(reply.size() - have), &got, nullptr) || got == 0) break;
        have += got;
      }
      EXPECT_EQ(have, 16u);
      EXPECT_EQ(reply, std::vector<std::uint8_t>(16, 0));
      WriteAllBytes(pipe.get(), Le64Bytes(-1));
    } else {
      EXPECT_TRUE(ServerClosesWithin(pipe.get(), kFloodWaitMs)) << "a frame beyond the data cap was taken";
    }
  }
}

}  // namespace testing_support
