#pragma once
// The heart of the Explorer integration: owns the hook receiver, the hooked windows' records,
// the request client of the search service and the result server, and runs the loop that
// scans for search boxes, re-lays result lists, retires destroyed windows and supervises the
// service. Window work always runs on the main thread, handed over with Synchronize.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/ServicePeer.h"
#include "app/UpdateInfo.h"
#include "app/WindowRec.h"
#include "core/HashListEx.h"
#include "core/MessageData.h"
#include "win/common/Handle.h"
#include "win/hook/TCBTHookReceiver.h"
#include "win/ipc/IPCClient.h"
#include "win/ipc/IPCServer.h"
#include "win/thread/TThread.h"

class TfrmRuvoSearch;
class THookThread;

using TAddSearchResultEvent = std::function<void(THookThread* sender, PWindowRec rec, const std::u16string& fileName,
                                                 const std::u16string& wildcard, const std::u16string& match)>;
using TServiceNotRunEvent = std::function<void(THookThread* sender, bool& successed)>;

class THookThread : public TThread {
 public:
  static constexpr DWORD kScanInterval = 200;
  static constexpr DWORD kSizeCheckDelay = 50;
  static constexpr DWORD kServiceCallInterval = 5000;
  static constexpr DWORD kConnectTimeout = 10;
  static constexpr DWORD kRequestReplyTimeout = 3000;
  static constexpr UINT kSearchDelay = 500;        // pause in typing before a search goes out
  static constexpr DWORD kSkipFocusWindow = 200;   // focus returning to Explorer's box is ignored
  static constexpr DWORD kRefocusPause = 100;      // refocusing sooner first lets messages through
  static constexpr DWORD kRestoreAfterKill = 200;  // a navigation restores Explorer's box after this
  static constexpr std::uint8_t kDropDownTooltips = 3;  // Windows 7: its drop-down is open
  static constexpr UINT kDropDownWait = 500;  // Windows 7: the edit comes without a drop-down after this
  static constexpr int kCloseButtonSize = 18;

  explicit THookThread(TfrmRuvoSearch* owner);
  ~THookThread() override;

  CriticalSection& Lock() { return FLock; }
  THashListEx<TWindowRec>& WindowList() { return *FWindowList; }
  TCBTHookReceiver& CBTHook() { return *FCBTHook; }
  TUpdateInfoRec UpdateInfo() const;
  TfrmRuvoSearch* Owner() const { return FOwner; }

  TAddSearchResultEvent OnAddSearchResult;
  TServiceNotRunEvent OnServiceNotRun;

  // Sends one request to the service on the shared client: connects within 10 ms when not
  // connected, sends, and always disconnects afterwards. When the service cannot be reached
  // nothing is sent, and with checkServiceOnFailure the loop's service check is armed.
  // Returns whether the request went out. Safe from the main thread and this thread.
  bool SendRequest(const IMessageData& request, bool checkServiceOnFailure);
  // Arms the service check (a search could not reach the service).
  void RequestServiceCheck();
  // Called by the service handler while it answers false: the loop goes on and asks again
  // after the usual pause instead of ending.
  void RetryServiceCheckLater() { FRetryServiceCheck = true; }
  // Asks the loop to re-lay result lists from now on (a click on a hooked window).
  void RequestSizeCheck();
  // Queues a destroyed window's handle; the loop tells the service and deletes its record.
  void QueueDestroyedWindow(std::uint32_t handle);

 protected:
  void Execute() override;
  void TerminatedSet() override;
  // Entry points the loop drives; they run on the main thread (AddExplorerWindows on this
  // thread before the loop starts).
  virtual void AddExplorerWindows();
  virtual void ScanHookWindows();
  virtual void CheckResultViewSize();
  // The result server's handler, on a server worker thread.
  virtual void ReceiveResultServerExecuteRequest(const ICommContext& context, const IMessageData& request,
                                                 const IMessageData& response);
  void DoServiceNotRun();

  // Registration and overlays, on the main thread.
  void AddHookWindow(std::uint32_t window, TSearchType searchType);
  void CreateOverlayControls(TWindowRec& rec);
  // Hook events, on the main thread.
  void CBTHookHookMessage(MSG& msg, bool& handled);
  void CBTHookCreateWnd(HWND window);
  void CBTHookDestroyWnd(HWND window);
  void CBTHookSetFocus(HWND newWindow, HWND oldWindow);
  // Hides the record's edit and cancels its query; restore hands the focus back to
  // Explorer's own search box.
  void DoKillFocus(TWindowRec& rec, bool restore);
  // Sends or cancels the query of the record whose edit this is.
  void DoSearch(TImageEdit& edit);
  // The focus window of the thread that owns the window (0 when that cannot be read).
  HWND GetThreadFocus(HWND window) const;
  // Copies the search box's picture, its placeholder erased, into the edit's background.
  static void PaintEditBackground(HWND searchBox, TImageEdit& edit);
  static void EraseSearchBoxText(TDibImage& picture, const TImageEdit& edit);

 private:
  void WindowListDelete(TWindowRec* rec);
  // Records by what a handler holds; nullptr when none matches.
  TWindowRec* RecordOf(HWND window) const;
  TWindowRec* ForegroundRecord() const;
  TWindowRec* RecordOfEdit(const TImageEdit& edit) const;
  TWindowRec* RecordOfButton(const TImageButton& button) const;
  TWindowRec* RecordOfTimer(const TTimer& timer) const;
  // Reads the folder an Explorer window shows and whether our search can serve it.
  bool ReadExplorerFolder(TWindowRec& rec);
  // After a navigation: the new file view's host, the folder, the list dropped, the edit hidden.
  void RecheckFileView(TWindowRec& rec);
  void ShowEdit(TWindowRec& rec);
  // Shares keyboard input with the thread of the Explorer window the edit is shown in, as a
  // child window of another thread requires; kept while the record lives.
  void AttachEditInput(const TWindowRec& rec);
  void DetachEditInput(const TWindowRec& rec);
  void EmptyEditQuietly(TWindowRec& rec);
  void FocusMessage(const MSG& msg);
  void SizeMessage(const MSG& msg, bool& targetIsKey);
  bool ExamineFocusChange(TWindowRec& rec, HWND newWindow, HWND oldWindow);
  // Windows 7: the wait for Explorer's drop-down after the focus arrives in its box, and the
  // edit shown when it ends.
  void StartDropDownWait(TWindowRec& rec);
  void EndDropDownWait(TWindowRec& rec);
  void DropDownWaitOver(const std::u16string& key);
  void ShowEditAfterDropDown(TWindowRec& rec);
  // The record's result list over the file view.
  bool ResultViewVisible(const TWindowRec& rec) const;
  HWND ResultViewWindow(const TWindowRec& rec) const;
  bool ResultViewRect(const TWindowRec& rec, RECT& r) const;
  void LayResultView(TWindowRec& rec, const RECT& fileViewHost);
  void FocusResultView(TWindowRec& rec);
  void ShowResultView(TWindowRec& rec);  // created on first use, cleared, "searching"
  void HideResultView(TWindowRec& rec);  // cleared and hidden
  void DropResultView(TWindowRec& rec);  // freed (it lay on a file view that is gone)
  // A window of ours that may take the foreground, so this process may set the focus.
  HWND FocusHostWindow() const;
  // Control events.
  void SearchEditChange(TImageEdit& edit);
  void SearchEditEnterPress(TImageEdit& edit);
  void SearchEditEscPress(TImageEdit& edit);
  void CloseButtonClick(TImageButton& button);
  void ResultViewSearchKeyPress(TListViewEx& view);
  void SearchTimerTimer(TTimer& timer);

  // Re-lays the result lists kSizeCheckDelay from now.
  void ScheduleSizeCheck();
  // Wakes the loop from its wait: it has work before its next duty falls due.
  void WakeLoop();
  void LoopPass(DWORD& lastScan, DWORD& lastServiceCall);
  DWORD MsUntilNextDuty(DWORD lastScan, DWORD lastServiceCall);
  void DrainDestroyedWindows();
  void CheckService(DWORD& lastServiceCall);
  bool TryConnectClient();

  TfrmRuvoSearch* FOwner;
  CriticalSection FLock;
  std::unique_ptr<THashListEx<TWindowRec>> FWindowList;
  std::unique_ptr<TCBTHookReceiver> FCBTHook;
  // The request client is shared by the main thread and this thread; FClientLock serialises
  // them and is never held across a synchronised call, so the main thread may take it.
  std::mutex FClientLock;
  std::unique_ptr<TIPCClient> FSendRequestClient;
  std::unique_ptr<TIPCServer> FReceiveResultServer;
  TResultPeerCheck FResultPeers;
  bool FSuccessed = false;
  std::atomic<bool> FNeedCheckSize{false};
  std::atomic<bool> FCheckService{false};
  std::atomic<bool> FRetryServiceCheck{false};
  std::atomic<DWORD> FCheckSizeTick{0};
  std::mutex FDestroyLock;  // guards FDestroyWndList (appended on the main thread)
  std::deque<std::uint32_t> FDestroyWndList;
  // Signalled by whatever gives the loop new work; auto-reset, since only the loop waits on it.
  UniqueKernelHandle FLoopWake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::map<std::uint32_t, DWORD> FInputAttachments;  // MainForm -> its thread; main thread only
  mutable std::mutex FUpdateLock;
  TUpdateInfoRec FUpdateInfo;
};
