// Figures for the result list under Wine: rows added per second through the main form's
// handler (files only, and with folders among the files), the time to paint one screen of
// rows, and the working set the rows take.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "win/common/WideText.h"
#include "win/resultview/ListViewForm.h"
#include "win/shell/ShellUtils.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = 10000;
constexpr int kDistinctFiles = 500;
constexpr int kDistinctFolders = 50;

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

void PumpFor() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

SIZE_T WorkingSet() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.WorkingSetSize;
}

struct Paths {
  std::wstring root;
  std::vector<std::u16string> files, folders;
};

Paths MakeTree() {
  wchar_t tmp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, tmp);
  Paths p;
  p.root = std::wstring(tmp) + L"ruvo-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(p.root.c_str(), nullptr);
  for (int i = 0; i < kDistinctFolders; ++i) {
    const std::wstring dir = p.root + L"bench folder " + std::to_wstring(i);
    CreateDirectoryW(dir.c_str(), nullptr);
    p.folders.push_back(U(dir));
  }
  for (int i = 0; i < kDistinctFiles; ++i) {
    // A mix of document kinds with a program now and then; a program's icon is read from
    // the file itself, every other kind shares the icon of its extension.
    static const wchar_t* const kKinds[] = {L".txt", L".docx", L".jpg", L".pdf", L".xlsx"};
    const std::wstring file = W(p.folders[static_cast<std::size_t>(i % kDistinctFolders)]) + L"\\bench file " +
                              std::to_wstring(i) + (i % 50 == 0 ? L".exe" : kKinds[i % 5]);
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    p.files.push_back(U(file));
  }
  return p;
}

void RemoveTree(const Paths& p) {
  for (const auto& file : p.files) DeleteFileW(W(file).c_str());
  for (const auto& folder : p.folders) RemoveDirectoryW(W(folder).c_str());
  RemoveDirectoryW(p.root.c_str());
}

// Adds kRows items (every folderEvery-th a folder; 0: none), to a cleared list when fresh,
// and answers rows per second.
double AddRows(TWindowRec& rec, const Paths& p, int folderEvery, std::size_t* pathBytes = nullptr,
               bool fresh = true) {
  if (fresh) {
    rec.ResultView->Clear();
    rec.ResultDirIndex = -1;
  }
  std::size_t bytes = 0;
  const auto start = Clock::now();
  for (int i = 0; i < kRows; ++i) {
    const bool folder = folderEvery && i % folderEvery == 0;
    const std::u16string& path = folder ? p.folders[static_cast<std::size_t>(i / folderEvery) % p.folders.size()]
                                        : p.files[static_cast<std::size_t>(i) % p.files.size()];
    bytes += path.size() * sizeof(char16_t);
    TfrmRuvoSearch::AddSearchResult(nullptr, &rec, path, u"bench", u"bench");
    if (i % 256 == 0) PumpFor();
  }
  PumpFor();
  if (pathBytes) *pathBytes = bytes;
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  return kRows / s;
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const Paths tree = MakeTree();

  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = L"RuvoResultBenchHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 1000, 780,
                              nullptr, nullptr, wc.hInstance, nullptr);
  {
    TfrmListView form;
    TWindowRec rec;
    rec.Edit = std::make_unique<TImageEdit>();
    rec.Edit->SetParentWindow(host);
    rec.Edit->SetText(u"bench");
    rec.ResultView = std::make_unique<TListViewEx>();
    TListViewEx& list = *rec.ResultView;
    list.SetSystemImages(GetSystemImageList(0));
    list.SetParentWindow(host);
    list.SetBounds(0, 0, 1000, 780);
    list.Panel().Show();
    PumpFor();

    AddRows(rec, tree, 0);  // warm the shell's icon cache and the heap
    std::printf("%-56s %10.0f rows/s\n", "add 10,000 files through AddSearchResult", AddRows(rec, tree, 0));
    std::printf("%-56s %10.0f rows/s\n", "add 10,000 rows, every 10th a folder", AddRows(rec, tree, 10));

    constexpr int kPaints = 50;
    const auto start = Clock::now();
    for (int i = 0; i < kPaints; ++i)
      RedrawWindow(list.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    GdiFlush();
    RECT client{};
    GetClientRect(list.Handle(), &client);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kPaints;
    std::printf("%-56s %10.2f ms  (%ld rows of %ld px)\n", "paint one screen of rows", ms,
                client.bottom / std::max(1L, list.ContentRect(0).bottom - list.ContentRect(0).top), client.right);

    // The rows of the timing rounds left free memory behind in the heap: the list is filled
    // with 10,000 rows first, and the growth is that of 10,000 more on top of them.
    AddRows(rec, tree, 10);
    const SIZE_T before = WorkingSet();
    std::size_t pathBytes = 0;
    AddRows(rec, tree, 10, &pathBytes, false);
    const SIZE_T after = WorkingSet();
    const double perRow = (static_cast<double>(after) - static_cast<double>(before)) / kRows;
    std::printf("%-56s %10.0f bytes/row (%.0f KiB per 10,000 rows; path text %.0f bytes/row)\n",
                "working-set growth", perRow, perRow * kRows / 1024, static_cast<double>(pathBytes) / kRows);
    std::printf("%-56s %10.0f bytes/row\n", "  beyond the path text", perRow - static_cast<double>(pathBytes) / kRows);
  }
  DestroyWindow(host);
  RemoveTree(tree);
  CoUninitialize();
  return 0;
}
