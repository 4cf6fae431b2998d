#pragma once
// One record per hooked Explorer window, keyed in the hook thread's window list by the
// Explorer top-level window's handle in unsigned decimal.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "win/common/WindowValue.h"
#include "win/controls/ImageButton.h"
#include "win/controls/ImageEdit.h"
#include "win/controls/Timer.h"
#include "win/resultview/ListViewEx.h"

enum class TSearchType : std::uint8_t { stExplorer, stTaskBar, stStartMenu };

struct TWindowRec {
  bool Inited = false;
  TSearchType SearchType = TSearchType::stExplorer;
  std::uint32_t MainForm = 0;    // Explorer's top-level window; also the service's SearchBox id
  std::uint32_t SearchBox = 0;   // Explorer's search box
  std::uint32_t FileHandle = 0;  // parent of Explorer's file view
  std::u16string ExplorerPath;   // with trailing "\"; empty for a virtual location
  std::unique_ptr<TImageEdit> Edit;  // the overlay edit, owned by the record
  std::unordered_set<std::u16string> ResultList;  // paths delivered in the current answer
  std::int32_t ResultDirIndex = -1;
  std::unique_ptr<TListViewEx> ResultView;  // the result list, made by the first search
  std::unique_ptr<TImageButton> Button;  // close button inside the edit
  std::uint32_t LastSetFocusTick = 0;
  std::uint32_t LastKillFocusTick = 0;
  std::uint32_t SkipFocusTick = 0;
  bool SkipCheckWindow = false;
  bool NeedCheckFocus = false;
  bool FindDropDown = false;
  std::uint8_t TooltipCount = 0;
  std::unique_ptr<TTimer> Timer;  // search delay while the user types
  std::unique_ptr<TTimer> DropDownTimer;  // Windows 7: ends a wait for a drop-down that does not come
};
using PWindowRec = TWindowRec*;

// The window-list key of a window handle.
inline std::u16string WindowKey(std::uint32_t handle) {
  const std::string s = std::to_string(handle);
  return std::u16string(s.begin(), s.end());
}
