// The shell's context menu: Wine's own menu on real files, and a menu object of the test's own
// behind a folder of its own, to see which commands are carried out and which only reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ResultViewTestSupport.h"
#include "win/resultview/Pidl.h"
#include "win/shell/ShellScopes.h"

namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

POINT Centre(HWND w) {
  RECT r{};
  ::GetWindowRect(w, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class WineShellMenu : public ::testing::Test {
 protected:
  ComScope com_;
  TestHost host_{100, 100, 300, 200};
  TempFolder dir_{L"ruvo-menu"};
};

TEST_F(WineShellMenu, ShownForTwoFilesAndDismissedWithTheEmptyVerb) {
  const std::wstring a = dir_.File(L"a.txt"), b = dir_.File(L"b.txt");
  std::wstring verb = L"stale";
  MenuRobot robot(MenuRobot::Action::Dismiss);
  ShowShellContextMenu(host_.get(), Centre(host_.get()), dir_.Path(), {L"a.txt", L"b.txt"}, verb);
  robot.Join();
  EXPECT_TRUE(robot.SawMenu());
  EXPECT_TRUE(robot.SawCallbackWindow()) << "the menu is owned by the callback window";
  EXPECT_TRUE(std::any_of(robot.MenuItems().begin(), robot.MenuItems().end(),
                          [](const std::wstring& t) { return t.find(L"Delete") != std::wstring::npos; }));
  EXPECT_EQ(verb, L"");
  EXPECT_TRUE(Exists(a) && Exists(b));
  EXPECT_EQ(::FindWindowW(L"ShellDialogsCallBack", nullptr), nullptr) << "the callback window goes with the menu";
}

TEST_F(WineShellMenu, DeleteIsCarriedOutForTheNamesThatStillExist) {
  const std::wstring a = dir_.File(L"a.txt"), b = dir_.File(L"sub\\b.txt"), keep = dir_.File(L"keep.txt");
  std::wstring verb;
  MenuRobot robot(MenuRobot::Action::Choose, L"Delete", IDYES, 4000);
  ShowShellContextMenu(host_.get(), Centre(host_.get()), dir_.Path(), {L"a.txt", L"gone.txt", L"sub\\b.txt"}, verb);
  robot.Join();
  ASSERT_TRUE(robot.SawMenu());
  EXPECT_EQ(verb, L"delete");
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(b));
  EXPECT_TRUE(Exists(keep));
}

TEST_F(WineShellMenu, NoMenuWhenNoNameExistsOrTheFolderCannotBeBound) {
  std::wstring verb = L"unchanged";
  {
    MenuRobot robot(MenuRobot::Action::Dismiss, L"", 0, 1500);
    ShowShellContextMenu(host_.get(), Centre(host_.get()), dir_.Path(), {L"gone1.txt", L"gone2.txt"}, verb);
    robot.Join();
    EXPECT_FALSE(robot.SawMenu());
  }
  {
    MenuRobot robot(MenuRobot::Action::Dismiss, L"", 0, 1500);
    ShowShellContextMenu(host_.get(), Centre(host_.get()), dir_.Path() + L"no such folder\\", {L"a.txt"}, verb);
    ShowShellContextMenu(host_.get(), Centre(host_.get()), dir_.Path(), {}, verb);
    robot.Join();
    EXPECT_FALSE(robot.SawMenu());
  }
  EXPECT_EQ(verb, L"unchanged");
}

TEST(Pidl, PathsParseAndBind) {
  ComScope com;
  TempFolder dir(L"ruvo-pidl");
  dir.File(L"x.txt");
  const UniquePidl folderId = PathToPIDL(dir.Path());
  ASSERT_TRUE(folderId);
  Microsoft::WRL::ComPtr<IShellFolder> folder;
  ASSERT_TRUE(BindToShellFolder(folderId.get(), folder));
  EXPECT_TRUE(ParseChildPIDL(folder.Get(), L"x.txt"));
  EXPECT_FALSE(ParseChildPIDL(folder.Get(), L"missing.txt"));
  EXPECT_FALSE(PathToPIDL(dir.Path() + L"missing\\"));
  EXPECT_FALSE(BindToShellFolder(nullptr, folder));
  FreePIDL(nullptr);  // nothing to free
}

// A menu object of the test's own: four commands and a submenu, recording what the caller
// asks of it.
class FakeMenu : public IContextMenu2 {
 public:
  std::vector<UINT> invoked;
  std::vector<UINT> handled;  // messages passed to HandleMenuMsg
  LONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IContextMenu || iid == IID_IContextMenu2) {
      *out = static_cast<IContextMenu2*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT) override {
    static const wchar_t* const kTexts[] = {L"Open it", L"Rename it", L"Delete it", L"Paste here"};
    for (UINT i = 0; i < 4; ++i) ::InsertMenuW(menu, index + i, MF_BYPOSITION | MF_STRING, first + i, kTexts[i]);
    HMENU sub = ::CreatePopupMenu();
    ::AppendMenuW(sub, MF_STRING, first + 4, L"Inner");
    ::InsertMenuW(menu, index + 4, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"Send to");
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5);
  }
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    invoked.push_back(LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb)));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR name, UINT max) override {
    static const wchar_t* const kVerbs[] = {L"Open", L"RENAME", L"delete", L"paste"};
    if (type != GCS_VERBW || offset >= 4) return E_INVALIDARG;
    lstrcpynW(reinterpret_cast<wchar_t*>(name), kVerbs[offset], static_cast<int>(max));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT msg, WPARAM, LPARAM) override {
    handled.push_back(msg);
    return S_OK;
  }
};

// A folder of the test's own that hands out the fake menu; nothing else is asked of it.
class FakeFolder : public IShellFolder {
 public:
  explicit FakeFolder(FakeMenu& menu) : menu_(menu) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = (iid == IID_IUnknown || iid == IID_IShellFolder) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID iid, UINT*, void** out) override {
    return menu_.QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override {
    return E_NOTIMPL;
  }

 private:
  FakeMenu& menu_;
};

struct VerbCase {
  const wchar_t* item;
  TShellMenuOptions options;
  const wchar_t* verb;
  bool invoked;
};

class MenuCommands : public ::testing::TestWithParam<VerbCase> {};

TEST_P(MenuCommands, CarriedOutOrOnlyReported) {
  const VerbCase& c = GetParam();
  TestHost host(100, 100, 300, 200);
  FakeMenu menu;
  FakeFolder folder(menu);
  SHITEMID empty{};
  LPCITEMIDLIST ids[] = {reinterpret_cast<LPCITEMIDLIST>(&empty)};
  std::wstring verb = L"stale";
  MenuRobot robot(c.item ? MenuRobot::Action::Choose : MenuRobot::Action::Dismiss, c.item ? c.item : L"");
  TrackShellContextMenu(host.get(), Centre(host.get()), &folder, 1, ids, verb, c.options);
  robot.Join();
  ASSERT_TRUE(robot.SawMenu());
  EXPECT_EQ(verb, c.verb);
  EXPECT_EQ(menu.invoked.size(), c.invoked ? 1u : 0u);
  // The popup messages reached the menu object through the callback window.
  EXPECT_NE(std::find(menu.handled.begin(), menu.handled.end(), static_cast<UINT>(WM_INITMENUPOPUP)),
            menu.handled.end());
  EXPECT_EQ(menu.refs, 1) << "every interface released";
}

constexpr TShellMenuOptions kPlain{};
constexpr TShellMenuOptions kCallerOpens{true, false, true};
constexpr TShellMenuOptions kNoPaste{false, false, false};
constexpr TShellMenuOptions kRename{true, true, false};
INSTANTIATE_TEST_SUITE_P(Cases, MenuCommands,
                         ::testing::Values(VerbCase{L"Open it", kPlain, L"open", true},
                                           VerbCase{L"Open it", kCallerOpens, L"open", false},
                                           VerbCase{L"Rename it", kRename, L"rename", false},
                                           VerbCase{L"Delete it", kCallerOpens, L"delete", true},
                                           VerbCase{L"Paste here", kNoPaste, L"paste", false},
                                           VerbCase{L"Paste here", kPlain, L"paste", true},
                                           VerbCase{nullptr, kPlain, L"", false}));

}  // namespace
