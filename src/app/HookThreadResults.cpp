// Intake of the service's answers on "SearchResultPipe", on the result server's workers.
// Every message is answered with an empty reply.
#include "app/HookThread.h"

#include <stdexcept>

#include "app/MainForm.h"
#include "core/SearchMessages.h"
#include "core/TextFold.h"
#include "core/TextUtils.h"
#include "core/Wildcard.h"
#include "win/common/WideText.h"
#include "win/common/WindowValue.h"

namespace {
std::u16string FileNamePart(const std::u16string& path) {
  const auto slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}
// Whether an item answers the query the record's edit holds (any item does while it has none).
bool IsCurrentQuery(const TWindowRec& rec, const std::u16string& wildcard) {
  return !rec.Edit || FoldLower(Trim(rec.Edit->Text())) == FoldLower(Trim(wildcard));
}

}  // namespace

void THookThread::ReceiveResultServerExecuteRequest(const ICommContext& context, const IMessageData& request,
                                                    const IMessageData&) {
  if (Terminated()) return;
  // Thrown, so the server ends the connection: nothing a stranger sends is looked at.
  if (!context || !FResultPeers.Allows(*context))
    throw std::runtime_error("SearchResultPipe: the client is neither the search service nor a process of this user");
  TStreamStorage& data = request->Data();
  const auto action = static_cast<std::uint8_t>(data.ReadCardinal(kFieldAction));
  const std::u16string fileName = data.ReadString(kFieldFileName);
  const std::u16string wildcard = data.ReadString(kFieldWildcard);
  const std::u16string key = WindowKey(data.ReadCardinal(kFieldSearchBox));

  switch (action) {
    case kActionAnswerBegin: {
      CsLock lock(FLock);
      // The main thread changes the list without FLock, so it is read there.
      Synchronize([&] {
        if (TWindowRec* rec = FWindowList->GetValue(key)) {
          rec->ResultList.clear();
          rec->ResultDirIndex = -1;
        }
      });
      break;
    }
    case kActionFoundItem:
    case kActionAnswerEnd: {
      if (!OnAddSearchResult) break;
      // A path that no longer exists is dropped before anything is shared.
      if (action == kActionFoundItem && ::GetFileAttributesW(W(fileName).c_str()) == INVALID_FILE_ATTRIBUTES) break;
      std::u16string match;
      if (action == kActionFoundItem) {
        TStringArray pieces;
        WildcardSplit(wildcard, FileNamePart(fileName), wsIgnoreCase, pieces);
        match = BuildMatchText(wildcard, pieces);
      }
      CsLock lock(FLock);
      Synchronize([&] {
        TWindowRec* rec = FWindowList->GetValue(key);
        if (!rec || !::IsWindow(WindowFromValue(rec->FileHandle))) return;
        // Only the current query's items count as delivered: a late item of an older answer
        // would otherwise keep the same path of the new answer out.
        if (action == kActionFoundItem && IsCurrentQuery(*rec, wildcard) &&
            !rec->ResultList.insert(FoldLower(fileName)).second)
          return;
        if (OnAddSearchResult) OnAddSearchResult(this, rec, fileName, wildcard, match);
      });
      break;
    }
    case kActionUpdate: {
      {
        std::lock_guard<std::mutex> g(FUpdateLock);
        FUpdateInfo.FileName = fileName;
        FUpdateInfo.Version = data.ReadString(kFieldVersion);
      }
      if (FOwner) ::PostMessageW(FOwner->Handle(), TfrmRuvoSearch::WM_NEWVERSION, reinterpret_cast<WPARAM>(this), 0);
      break;
    }
    default:
      break;
  }
}
