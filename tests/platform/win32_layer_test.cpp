// Windows, the message queue and the child controls of the Win32 layer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/testdriver.h"
#include "platform/win32/user32.h"
#include "tests/platform/win32_fixture.h"

namespace {

using namespace win32test;
namespace drv = win32layer::testdriver;

class Win32Windows : public Win32Fixture {};
class Win32MessageQueue : public Win32Fixture {};
class Win32Controls : public Win32Fixture {};

// ---------------------------------------------------------------- windows

TEST_F(Win32Windows, CreateDeliversWmCreateWithParametersBeforeReturning) {
  int marker = 0;
  HWND h = mainWindow(&marker);
  ASSERT_NE(h, nullptr);
  // WM_NCCREATE, then WM_CREATE, both inside the call, with the parameters.
  std::vector<UINT> order;
  for (const Seen& s : recorder.seen)
    if (s.msg == WM_NCCREATE || s.msg == WM_CREATE) order.push_back(s.msg);
  EXPECT_EQ(order, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_EQ(recorder.createParams, &marker);
  EXPECT_TRUE(recorder.windowExistedInCreate);
  EXPECT_EQ(drv::windowText(h), "Skyloom");

  recorder.createResult = -1;
  EXPECT_EQ(mainWindow(), nullptr);
  EXPECT_FALSE(recorder.messages(WM_DESTROY).empty());
}

TEST_F(Win32Windows, GeometryFollowsTheCaptionFrameAndChildPositions) {
  HWND h = mainWindow();
  RECT r{};
  ASSERT_TRUE(GetWindowRect(h, &r));
  EXPECT_EQ(r.left, 400);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 1280);
  EXPECT_EQ(r.bottom, 536);
  ASSERT_TRUE(GetClientRect(h, &r));
  EXPECT_EQ(r.right, 864);
  EXPECT_EQ(r.bottom, 477);

  HWND edit = child(h, u"Edit", WS_BORDER, 32788, 111, 119, 1200, 16);
  HWND combo = child(h, u"ComboBox", WS_VSCROLL | CBS_DROPDOWNLIST, 32790, 5, 114, 105, 80);
  ASSERT_TRUE(GetWindowRect(edit, &r));
  EXPECT_EQ(r.left, 400 + 8 + 111);
  EXPECT_EQ(r.top, 20 + 31 + 119);
  ASSERT_TRUE(GetWindowRect(combo, &r));
  EXPECT_EQ(r.bottom - r.top, 21);  // closed: the selection field only
  EXPECT_EQ(GetDlgItem(h, 32788), edit);
  EXPECT_EQ(GetDlgItem(h, 32790), combo);
  EXPECT_EQ(GetDlgItem(h, 1), nullptr);
  EXPECT_EQ(GetDlgCtrlID(combo), 32790);
  EXPECT_EQ(GetParent(edit), h);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(edit, GWL_STYLE)), WS_CHILD | WS_VISIBLE | WS_BORDER);
}

TEST_F(Win32Windows, AlwaysOnTopAndMinimisedPosition) {
  HWND h = mainWindow();
  ASSERT_TRUE(SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT r{};
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 400);
  EXPECT_EQ(r.right - r.left, 880);
  SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);

  ASSERT_TRUE(drv::minimize(h));
  EXPECT_TRUE(IsIconic(h));
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, -32000);
  EXPECT_EQ(r.top, -32000);
  ASSERT_TRUE(drv::restore(h));
  EXPECT_FALSE(IsIconic(h));
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 400);
  EXPECT_EQ(r.top, 20);
}

TEST_F(Win32Windows, CloseButtonDestroysUnlessTheProcedureKeepsTheWindow) {
  recorder.keepOnClose = true;
  HWND kept = mainWindow();
  ASSERT_TRUE(drv::pressCloseButton(kept));
  EXPECT_EQ(recorder.messages(WM_CLOSE).size(), 1u);
  EXPECT_TRUE(IsWindow(kept));

  recorder.keepOnClose = false;
  recorder.quitOnDestroy = true;
  HWND h = mainWindow();
  HWND box = child(h, u"button", BS_CHECKBOX, 7, 5, 149, 12, 12);
  recorder.clear();
  ASSERT_TRUE(drv::pressCloseButton(h));
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(IsWindow(box));
  ASSERT_EQ(recorder.messages(WM_DESTROY).size(), 1u);
  EXPECT_EQ(recorder.messages(WM_DESTROY)[0].hwnd, h);
  const drv::PumpResult pumped = drv::pumpUntilIdle();
  EXPECT_TRUE(pumped.quit);
  EXPECT_EQ(pumped.exitCode, 3);

  // A window without a close button cannot be closed that way.
  HWND plain = CreateWindowExW(0, kClassName, u"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(drv::pressCloseButton(plain));
  EXPECT_TRUE(IsWindow(plain));
}

TEST_F(Win32Windows, ProgramNameIsStringResource101) {
  char16_t buffer[64];
  EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 101, buffer, 64), 7);
  EXPECT_EQ(std::u16string(buffer), u"Skyloom");
  EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 101, buffer, 4), 3);  // truncated, NUL-terminated
  EXPECT_EQ(std::u16string(buffer), u"Sky");
  EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 999, buffer, 64), 0);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

// ---------------------------------------------------------------- message queue

TEST_F(Win32MessageQueue, PostedMessagesArriveInOrderAndQuitEndsTheLoop) {
  HWND h = mainWindow();
  drv::pumpUntilIdle();
  recorder.clear();
  for (UINT i = 1; i <= 5; ++i) ASSERT_TRUE(PostMessageW(h, WM_APP + i, i, 0));
  PostQuitMessage(42);
  PostMessageW(h, WM_APP + 6, 6, 0);  // still before the quit: it is a posted message

  MSG msg;
  int loops = 0;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ASSERT_LT(++loops, 100);
  }
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 42u);
  EXPECT_EQ(recorder.appMessages(),
            (std::vector<UINT>{WM_APP + 1, WM_APP + 2, WM_APP + 3, WM_APP + 4, WM_APP + 5, WM_APP + 6}));
  // The quit was taken: the queue is empty now.
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32MessageQueue, PaintComesWhenTheQueueIsEmptyAndOnlyOncePerInvalidation) {
  HWND h = mainWindow();
  drv::pumpUntilIdle();
  recorder.clear();
  const RECT a{0, 448, 880, 476};
  const RECT b{0, 28, 880, 112};
  InvalidateRect(h, &a, TRUE);
  PostMessageW(h, WM_APP + 1, 0, 0);
  InvalidateRect(h, &b, FALSE);  // accumulates into one update region

  std::vector<PAINTSTRUCT> paints;
  recorder.paint = [&](HWND, HDC, const PAINTSTRUCT& ps) { paints.push_back(ps); };
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_APP + 1u);
  DispatchMessageW(&msg);
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_PAINT);
  DispatchMessageW(&msg);
  ASSERT_EQ(paints.size(), 1u);
  EXPECT_EQ(paints[0].rcPaint.top, 28);
  EXPECT_EQ(paints[0].rcPaint.bottom, 476);
  EXPECT_EQ(paints[0].rcPaint.right, 864);  // clipped to the client area
  // The class brush erased the background, so the procedure need not.
  EXPECT_FALSE(paints[0].fErase);
  EXPECT_EQ(recorder.messages(WM_ERASEBKGND).size(), 1u);
  EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32MessageQueue, PostsFromOtherThreadsArriveInEachThreadsOrder) {
  HWND h = mainWindow();
  drv::pumpUntilIdle();
  recorder.clear();
  constexpr UINT kEach = 300;
  auto poster = [&](UINT base) {
    for (UINT i = 0; i < kEach; ++i) PostMessageW(h, base, i, 0);
  };
  std::thread t1(poster, WM_APP + 1);
  std::thread t2(poster, WM_APP + 2);

  // GetMessageW blocks until the posts arrive; the procedure runs here.
  MSG msg;
  UINT received = 0;
  while (received < 2 * kEach && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    DispatchMessageW(&msg);
    if (msg.message >= WM_APP) ++received;
  }
  t1.join();
  t2.join();
  WPARAM next1 = 0, next2 = 0;
  for (const Seen& s : recorder.messages(WM_APP + 1)) {
    EXPECT_EQ(s.wParam, next1++);
    EXPECT_EQ(s.thread, std::this_thread::get_id());
  }
  for (const Seen& s : recorder.messages(WM_APP + 2)) EXPECT_EQ(s.wParam, next2++);
  EXPECT_EQ(next1, kEach);
  EXPECT_EQ(next2, kEach);
}

TEST_F(Win32MessageQueue, InvalidationFromAnotherThreadWakesTheLoop) {
  HWND h = mainWindow();
  drv::pumpUntilIdle();
  std::thread other([&] { InvalidateRect(h, nullptr, TRUE); });
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_PAINT);
  EXPECT_EQ(msg.hwnd, h);
  other.join();
}

TEST_F(Win32MessageQueue, SendFromAnotherThreadRunsOnTheOwnerThread) {
  HWND h = mainWindow();
  HWND box = child(h, u"button", BS_CHECKBOX, 32797, 5, 149, 12, 12);
  drv::pumpUntilIdle();
  recorder.clear();
  std::atomic<bool> done{false};
  UINT checkSeenThere = 99;
  std::thread other([&] {
    SendMessageW(h, WM_APP + 7, 5, 0);
    CheckDlgButton(h, 32797, BST_CHECKED);
    checkSeenThere = IsDlgButtonChecked(h, 32797);
    done = true;
  });
  ASSERT_TRUE(drv::pumpUntil([&] { return done.load(); }, std::chrono::seconds(10)));
  other.join();
  ASSERT_EQ(recorder.messages(WM_APP + 7).size(), 1u);
  EXPECT_EQ(recorder.messages(WM_APP + 7)[0].thread, std::this_thread::get_id());
  EXPECT_EQ(checkSeenThere, BST_CHECKED);
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Win32MessageQueue, OtherThreadsSetTextAndEnableWithoutWaitingForTheOwner) {
  HWND h = mainWindow();
  HWND edit = child(h, u"Edit", WS_BORDER, 32839, 217, 343, 50, 16);
  drv::pumpUntilIdle();
  // The owner thread does not pump while the other thread works.
  std::thread other([&] {
    SetWindowTextW(edit, u"EGLL");
    EnableWindow(edit, FALSE);
    InvalidateRect(h, nullptr, TRUE);
    PostMessageW(h, WM_APP + 2, 0, 0);
  });
  other.join();
  EXPECT_EQ(drv::windowText(edit), "EGLL");
  EXPECT_FALSE(IsWindowEnabled(edit));
  EXPECT_TRUE(GetUpdateRect(edit, nullptr, FALSE));
  drv::pumpUntilIdle();
  EXPECT_EQ(recorder.messages(WM_APP + 2).size(), 1u);
}

TEST_F(Win32MessageQueue, WindowsOfAnEndedThreadAreGone) {
  HWND h = nullptr;
  std::thread other([&] {
    h = CreateWindowExW(0, kClassName, u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  });
  other.join();
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessageW(h, WM_APP, 0, 0));
  EXPECT_EQ(SendMessageW(h, WM_APP, 0, 0), 0);
}

// ---------------------------------------------------------------- controls

LRESULT CALLBACK enterCatcher(HWND, UINT, WPARAM, LPARAM);
WNDPROC g_previous = nullptr;
std::vector<char16_t> g_charsSeen;
int g_enters = 0;
bool g_disableOnEnter = false;

LRESULT CALLBACK enterCatcher(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CHAR) {
    g_charsSeen.push_back(static_cast<char16_t>(wParam));
    if (wParam == 13) {
      ++g_enters;
      if (g_disableOnEnter) EnableWindow(hwnd, FALSE);
      return 0;  // the field never sees Enter
    }
  }
  return CallWindowProcW(g_previous, hwnd, msg, wParam, lParam);
}

TEST_F(Win32Controls, SubclassedEditChainsToTheBuiltInProcedure) {
  HWND h = mainWindow();
  HWND edit = child(h, u"Edit", WS_BORDER, 32848, 323, 371, 34, 16);
  const LONG_PTR builtin = GetWindowLongPtrW(edit, GWLP_WNDPROC);
  g_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(enterCatcher)));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(g_previous), builtin);
  EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(enterCatcher));
  g_charsSeen.clear();
  g_enters = 0;
  g_disableOnEnter = false;

  ASSERT_TRUE(drv::typeText(edit, "15x\b0"));
  EXPECT_EQ(drv::windowText(edit), "150");
  ASSERT_TRUE(drv::pressEnter(edit));
  EXPECT_EQ(g_enters, 1);
  EXPECT_EQ(drv::windowText(edit), "150");
  EXPECT_EQ(g_charsSeen, (std::vector<char16_t>{u'1', u'5', u'x', u'\b', u'0', u'\r'}));
  // Text messages also pass through the chain to the built-in procedure.
  ASSERT_TRUE(SetWindowTextW(edit, u"24.0"));
  EXPECT_EQ(drv::windowText(edit), "24.0");
  ASSERT_TRUE(drv::clearText(edit));
  EXPECT_EQ(GetWindowTextLengthW(edit), 0);
  // Typed text goes in UTF-16, surrogate pairs included; one backspace
  // removes the whole pair.
  ASSERT_TRUE(drv::typeText(edit, "Zürich ✈\xF0\x9F\x9B\xAB\b"));
  EXPECT_EQ(drv::windowText(edit), "Zürich ✈");
}

TEST_F(Win32Controls, CheckboxClickOnlyNotifiesTheParent) {
  HWND h = mainWindow();
  HWND box = child(h, u"button", BS_CHECKBOX, 32797, 5, 149, 12, 12);
  HWND autoBox = child(h, u"button", BS_AUTOCHECKBOX, 32798, 217, 149, 12, 12);
  recorder.clear();
  ASSERT_TRUE(drv::click(box));
  EXPECT_EQ(IsDlgButtonChecked(h, 32797), BST_UNCHECKED);  // no tick of its own
  auto commands = recorder.messages(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(LOWORD(commands[0].wParam), 32797);
  EXPECT_EQ(HIWORD(commands[0].wParam), BN_CLICKED);
  EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(box));

  ASSERT_TRUE(drv::click(autoBox));  // an automatic checkbox does tick itself
  EXPECT_EQ(IsDlgButtonChecked(h, 32798), BST_CHECKED);

  HWND button = child(h, u"button", BS_DEFPUSHBUTTON, 32838, 758, 341, 90, 20, u"Re-read");
  recorder.clear();
  ASSERT_TRUE(drv::click(button));
  ASSERT_EQ(recorder.messages(WM_COMMAND).size(), 1u);
  EXPECT_EQ(recorder.messages(WM_COMMAND)[0].wParam, MAKEWPARAM(32838, BN_CLICKED));
}

TEST_F(Win32Controls, ProgrammaticSettersSendNoNotification) {
  HWND h = mainWindow();
  HWND box = child(h, u"button", BS_CHECKBOX, 32797, 5, 149, 12, 12);
  HWND edit = child(h, u"Edit", WS_BORDER, 32839, 217, 343, 50, 16);
  HWND combo = child(h, u"ComboBox", WS_VSCROLL | CBS_DROPDOWNLIST, 32818, 217, 226, 50, 200);
  recorder.clear();
  CheckDlgButton(h, 32797, BST_CHECKED);
  SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
  SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
  SetWindowTextW(edit, u"EDDF");
  for (const char16_t* item : {u"2", u"3", u"40"}) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  drv::pumpUntilIdle();
  EXPECT_TRUE(recorder.messages(WM_COMMAND).empty());
  EXPECT_EQ(IsDlgButtonChecked(h, 32797), BST_CHECKED);
  EXPECT_EQ(drv::windowText(edit), "EDDF");
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);

  // A user's typing and picking do notify.
  drv::typeText(edit, "x");
  ASSERT_TRUE(drv::pickComboEntry(combo, 1));
  auto commands = recorder.messages(WM_COMMAND);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].wParam, MAKEWPARAM(32839, EN_CHANGE));
  EXPECT_EQ(commands[1].wParam, MAKEWPARAM(32818, CBN_SELCHANGE));
  EXPECT_EQ(commands[1].lParam, reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_FALSE(drv::pickComboEntry(combo, 3));
}

TEST_F(Win32Controls, DisabledControlsTakeNoInput) {
  HWND h = mainWindow();
  HWND box = child(h, u"button", BS_CHECKBOX, 32797, 5, 149, 12, 12);
  HWND edit = child(h, u"Edit", WS_BORDER, 32828, 217, 259, 100, 16);
  HWND combo = child(h, u"ComboBox", WS_VSCROLL | CBS_DROPDOWNLIST, 32846, 323, 310, 55, 144);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"100"));
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"500"));
  g_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(enterCatcher)));
  g_charsSeen.clear();
  g_enters = 0;

  EXPECT_FALSE(EnableWindow(edit, FALSE));  // it was enabled
  EXPECT_TRUE(EnableWindow(edit, FALSE));   // now it was disabled
  EnableWindow(box, FALSE);
  EnableWindow(combo, FALSE);
  recorder.clear();
  EXPECT_FALSE(drv::typeText(edit, "KLM1"));
  EXPECT_FALSE(drv::pressEnter(edit));
  EXPECT_FALSE(drv::click(box));
  EXPECT_FALSE(drv::pickComboEntry(combo, 1));
  EXPECT_TRUE(g_charsSeen.empty());
  EXPECT_EQ(drv::windowText(edit), "");
  EXPECT_TRUE(recorder.messages(WM_COMMAND).empty());
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  // Even a character sent straight to a disabled field changes nothing.
  SendMessageW(edit, WM_CHAR, u'Q', 1);
  EXPECT_EQ(drv::windowText(edit), "");

  // Enabled again, the field takes text; when Enter disables it, the rest
  // of the typing does not arrive.
  EnableWindow(edit, TRUE);
  g_disableOnEnter = true;
  EXPECT_FALSE(drv::typeText(edit, "KLM1\rXYZ"));
  g_disableOnEnter = false;
  EXPECT_EQ(drv::windowText(edit), "KLM1");
  EXPECT_EQ(g_charsSeen.back(), u'\r');

  // A control inside a disabled parent takes no input either.
  EnableWindow(box, TRUE);
  EnableWindow(h, FALSE);
  EXPECT_FALSE(drv::click(box));
}

TEST_F(Win32Controls, DropDownListKeepsItsSelectionAgainstSetWindowText) {
  HWND h = mainWindow();
  HWND combo = child(h, u"ComboBox", WS_VSCROLL | CBS_DROPDOWNLIST, 32790, 5, 114, 105, 80);
  EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"MSFS 2020")), 0);
  EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"MSFS 2024")), 1);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"msfs 2024")), 1);
  EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"MSFS")), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 1, 0), 1);

  EXPECT_FALSE(SetWindowTextW(combo, u"MSFS 2020"));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(drv::windowText(combo), "MSFS 2024");

  char16_t buffer[256];
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 9);
  EXPECT_EQ(std::u16string(buffer), u"MSFS 2020");
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 5, reinterpret_cast<LPARAM>(buffer)), CB_ERR);

  // An index outside the list clears the selection.
  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 7, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(drv::windowText(combo), "");
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  EXPECT_EQ(SendMessageW(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

}  // namespace
