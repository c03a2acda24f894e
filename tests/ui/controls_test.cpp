#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/runstate.h"
#include "app/settings.h"
#include "app/utf.h"
#include "support/log_reader.h"
#include "support/workdir.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/window_fixture.h"

using namespace testsupport;
using ::testing::HasSubstr;
namespace fs = std::filesystem;
namespace drv = win32layer::testdriver;

namespace {

enum Cls { Check, Push, Edit, Combo };

struct Expected {
  int id;
  Cls cls;
  int x, y, width, height;
};

// Every control: id, class, place and size in the client area. A combo's
// closed box is 21 high; its given height is the drop-down list's.
const std::vector<Expected> kExpected{
    {32790, Combo, 5, 114, 105, 21},   {32788, Edit, 111, 119, 1200, 16}, {32797, Check, 5, 149, 12, 12},
    {32798, Check, 217, 149, 12, 12},  {32791, Combo, 308, 142, 125, 21}, {32799, Check, 450, 149, 12, 12},
    {32800, Check, 536, 149, 12, 12},  {32779, Check, 652, 149, 12, 12},  {32771, Check, 748, 149, 12, 12},
    {32801, Check, 5, 177, 12, 12},    {32778, Check, 652, 177, 12, 12},  {32777, Check, 748, 177, 12, 12},
    {32808, Combo, 217, 198, 40, 21},  {32809, Check, 323, 205, 12, 12},  {32810, Check, 430, 205, 12, 12},
    {32811, Check, 536, 205, 12, 12},  {32775, Check, 652, 205, 12, 12},  {32773, Check, 748, 205, 12, 12},
    {32818, Combo, 217, 226, 50, 21},  {32819, Check, 323, 233, 12, 12},  {32820, Combo, 455, 226, 70, 21},
    {32822, Check, 748, 233, 12, 12},  {32834, Check, 217, 289, 12, 12},  {32833, Check, 323, 289, 12, 12},
    {32835, Check, 430, 289, 12, 12},  {32828, Edit, 217, 259, 100, 16},  {32829, Push, 323, 257, 70, 20},
    {32774, Edit, 460, 259, 95, 16},   {32846, Combo, 323, 310, 55, 21},  {32847, Combo, 536, 310, 55, 21},
    {32839, Edit, 217, 343, 50, 16},   {32840, Combo, 353, 338, 45, 21},  {32841, Combo, 566, 338, 70, 21},
    {32856, Check, 652, 317, 12, 12},  {32852, Check, 5, 373, 12, 12},    {32854, Check, 71, 373, 12, 12},
    {32851, Check, 151, 373, 12, 12},  {32848, Edit, 323, 371, 34, 16},   {32850, Check, 430, 373, 12, 12},
    {32855, Edit, 566, 371, 34, 16},   {32838, Push, 758, 341, 90, 20},   {32858, Push, 758, 369, 90, 20},
};

DWORD styleOf(Cls cls) {
  switch (cls) {
    case Check: return 0x50000002;
    case Push: return 0x50000001;
    case Edit: return 0x50800000;
    case Combo: return 0x50210003;
  }
  return 0;
}

// The built-in procedure of a class, from a scratch control of that class.
WNDPROC classProc(HWND parent, const char16_t* cls) {
  HWND probe = CreateWindowExW(0, cls, u"", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
  const auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(probe, GWLP_WNDPROC));
  DestroyWindow(probe);
  return proc;
}

// A control's rectangle in its parent's client coordinates.
RECT clientRect(HWND parent, HWND child) {
  RECT outer{}, client{}, inner{};
  GetWindowRect(parent, &outer);
  GetClientRect(parent, &client);
  GetWindowRect(child, &inner);
  const int frame = ((outer.right - outer.left) - client.right) / 2;
  const int left = outer.left + frame;
  const int top = outer.bottom - frame - client.bottom;
  return {inner.left - left, inner.top - top, inner.right - left, inner.bottom - top};
}

// Records what reaches an edit field's built-in procedure below ours.
std::vector<std::pair<UINT, WPARAM>> g_seen;
WNDPROC g_builtinEdit = nullptr;
LRESULT CALLBACK spyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CHAR) g_seen.emplace_back(message, wParam);
  return CallWindowProcW(g_builtinEdit, hwnd, message, wParam, lParam);
}

std::vector<std::string> comboEntries(HWND combo) {
  std::vector<std::string> entries;
  const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    WCHAR buffer[64]{};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    entries.push_back(win32::utf16ToUtf8(buffer));
  }
  return entries;
}

}  // namespace

class ControlsTest : public WindowTest {
 protected:
  bool prepareForRun() { return onOtherThread([] { gf_prepareControlsForRun(); }); }
};

TEST_F(ControlsTest, EveryControlIsMadeWithItsIdClassStylePlaceAndSize) {
  ASSERT_TRUE(createWindow());
  const WNDPROC button = classProc(window(), u"button");
  const WNDPROC edit = classProc(window(), u"Edit");
  const WNDPROC combo = classProc(window(), u"ComboBox");
  ASSERT_EQ(gf_controlPlaces().size(), 42u);
  ASSERT_EQ(kExpected.size(), 42u);
  for (std::size_t i = 0; i < kExpected.size(); ++i) {
    const Expected& e = kExpected[i];
    SCOPED_TRACE(e.id);
    // Made in this order.
    EXPECT_EQ(gf_controlPlaces()[i].setting->controlId(), e.id);
    HWND hwnd = control(e.id);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(GetDlgCtrlID(hwnd), e.id);
    EXPECT_EQ(gf_controlPlaces()[i].setting->handle(), hwnd);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & ~WS_DISABLED, styleOf(e.cls));
    const RECT r = clientRect(window(), hwnd);
    EXPECT_EQ(r.left, e.x);
    EXPECT_EQ(r.top, e.y);
    EXPECT_EQ(r.right - r.left, e.width);
    EXPECT_EQ(r.bottom - r.top, e.height);
    // The class, told by its built-in procedure (an edit field's sits below ours).
    const auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    switch (e.cls) {
      case Check:
      case Push: EXPECT_EQ(proc, button); break;
      case Combo: EXPECT_EQ(proc, combo); break;
      case Edit:
        EXPECT_NE(proc, edit);  // subclassed
        EXPECT_EQ(gf_controlPlaces()[i].setting->previousProc(), edit);
        break;
    }
    // Captions: the buttons' texts; nothing else has one.
    const std::string text = drv::windowText(hwnd);
    if (e.id == 32829) EXPECT_EQ(text, "Unblock");
    else if (e.id == 32838) EXPECT_EQ(text, "Re-read");
    else if (e.id == 32858) EXPECT_EQ(text, "Flush static");
    else EXPECT_EQ(text, "");
  }
  // The edit fields' procedures by kind.
  EXPECT_EQ(GetWindowLongPtrW(control(32788), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(lf_stringEditProc));
  EXPECT_EQ(GetWindowLongPtrW(control(32848), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(lf_intEditProc));
  EXPECT_EQ(GetWindowLongPtrW(control(32855), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(lf_floatEditProc));
  // The combos are made empty.
  EXPECT_EQ(SendMessageW(control(32818), CB_GETCOUNT, 0, 0), 0);
}

TEST_F(ControlsTest, CheckboxesShowTheStoredSettingsFromTheStart) {
  writeFile(appDataDir() / "Skyloom" / "parameters.xml",
            "<parameters>\n"
            "  <parameter name=\"LOG\" value=\"true\"/>\n"
            "  <parameter name=\"SCAN_LIVERIES\" value=\"false\"/>\n"
            "  <parameter name=\"WEEK\" value=\"yes\"/>\n"
            "</parameters>\n");
  ASSERT_TRUE(createWindow());
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::LOG.controlId()), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::WEEK.controlId()), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::SCAN_LIVERIES.controlId()), BST_UNCHECKED);
  // A setting missing from the file keeps its default.
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::SUPPRESS_STUB.controlId()), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::ALWAYS_ON_TOP.controlId()), BST_UNCHECKED);
  // A plain checkbox does not tick itself: its command turns it over and saves.
  EXPECT_TRUE(drv::click(control(prm::LOG.controlId())));
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::LOG.controlId()), BST_UNCHECKED);
  EXPECT_FALSE(prm::LOG.value());
  EXPECT_THAT(readFile(appDataDir() / "Skyloom" / "parameters.xml"), HasSubstr("name=\"LOG\" value=\"false\""));
}

TEST_F(ControlsTest, EditFieldsAndButtonsTakeInputOnlyOnceTheRunEnablesThem) {
  ASSERT_TRUE(createWindow());
  for (const ControlPlace& place : gf_controlPlaces()) {
    SCOPED_TRACE(place.setting->controlId());
    const bool startsEnabled = place.kind == ControlKind::Checkbox || place.kind == ControlKind::Combo;
    EXPECT_EQ(IsWindowEnabled(place.setting->handle()) != FALSE, startsEnabled);
  }
  HWND destination = control(prm::DESTINATION.controlId());
  EXPECT_FALSE(drv::typeText(destination, "EGLL"));
  EXPECT_EQ(drv::windowText(destination), "");
  EXPECT_FALSE(drv::click(control(g_rereadButton.controlId())));

  gf_enableRunControls(true);
  EXPECT_TRUE(drv::typeText(destination, "EGLL"));
  EXPECT_EQ(drv::windowText(destination), "EGLL");
  EXPECT_TRUE(IsWindowEnabled(control(g_flushStaticButton.controlId())));

  // The run reset disables them again; checkboxes and combos stay usable.
  gf_enableRunControls(false);
  EXPECT_FALSE(drv::typeText(destination, "X"));
  EXPECT_EQ(drv::windowText(destination), "EGLL");
  EXPECT_TRUE(IsWindowEnabled(control(prm::LOG.controlId())));
  EXPECT_TRUE(IsWindowEnabled(control(prm::RANGE.controlId())));

  gf_enableControl(g_rereadButton.controlId(), true);
  EXPECT_TRUE(IsWindowEnabled(control(g_rereadButton.controlId())));
  gf_enableControl(4711, true);
  EXPECT_TRUE(logHasLine("GetDlgItem failed for ID 4711"));
}

TEST_F(ControlsTest, EnterClearsTheStatusRunsTheFieldsCommandAndNeverReachesTheField) {
  ASSERT_TRUE(createWindow());
  gf_enableRunControls(true);
  gf_setParkFileLoaded(true);  // the fit field acts only with a park airport
  struct Case {
    ParameterControl* setting;
    std::string status;  // the command's own answer
    std::string shown;   // the field shows the value in force afterwards
  };
  const std::vector<Case> cases{
      {&prm::ALL_INSTALL_PATH, "This install path does not exist: c:\\x", "c:\\x"},
      {&prm::BLOCK_CALLSIGN, "live aircraft with callsign 'C:\\X' will be blocked", "C:\\X"},
      {&prm::CALLSIGN_2_OBJECTID, "", "C:\\X"},
      {&prm::DESTINATION, "destination 'C:\\X' is unknown ...", ""},
      {&prm::parking_percentage, "invalid input: c:\\x", "30"},
      {&prm::MAX_FIT_FL, "", "24"},  // only logged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    HWND field = c.setting->handle();
    // A spy between our procedure and the field's built-in one.
    g_builtinEdit = c.setting->previousProc();
    c.setting->setPreviousProc(spyProc);
    g_seen.clear();
    gf_showStatus("something earlier", false);
    ASSERT_TRUE(drv::typeText(field, "c:\\x"));
    ASSERT_TRUE(drv::pressEnter(field));
    EXPECT_EQ(gf_statusSnapshot().status, c.status);
    EXPECT_EQ(drv::windowText(field), c.shown);
    EXPECT_EQ(g_seen.size(), 4u);  // the four typed characters, never the Enter
    EXPECT_TRUE(std::none_of(g_seen.begin(), g_seen.end(), [](const auto& m) { return m.second == 13; }));
    c.setting->setPreviousProc(g_builtinEdit);
  }
}

TEST_F(ControlsTest, TheFitFieldActsOnlyWhileAParkAirportIsLoadedAndThePathGoesToTheSelectedSimulator) {
  ASSERT_TRUE(createWindow());
  gf_enableRunControls(true);
  HWND fit = control(prm::MAX_FIT_FL.controlId());
  ASSERT_TRUE(drv::typeText(fit, "7.3"));
  gf_showStatus("earlier", false);
  ASSERT_TRUE(drv::pressEnter(fit));
  EXPECT_EQ(gf_statusSnapshot().status, "");  // cleared all the same
  EXPECT_FALSE(logContains("lf_processTbFloat"));

  prm::SIM_CHOICE.set("MSFS 2024");
  fs::create_directories("sims/Community");
  HWND path = control(prm::ALL_INSTALL_PATH.controlId());
  ASSERT_TRUE(drv::typeText(path, "sims/Community/"));
  ASSERT_TRUE(drv::pressEnter(path));
  EXPECT_EQ(prm::MSFS_2024_INSTALL_PATH.value(), "sims");
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "");
  gf_resetStopRequest();
}

TEST_F(ControlsTest, AfterRunStartTheCombosShowTheCurrentValues) {
  ASSERT_TRUE(createWindow());
  prm::SIM_CHOICE.set("MSFS 2024");
  prm::RANGE.set(25);
  prm::MAX_LIVE_SEL.set(200);
  prm::AIRP_RANGE.set(23);  // not one of the choices (a hand-edited file)
  prm::AUTO_RANGE.set(true);
  prm::LIG_AUTOMATIC.set(false);
  prm::LOG.set(true);
  prm::parking_percentage.set(45);
  prm::MAX_FIT_FL.set(7.5);
  ASSERT_TRUE(prepareForRun());
  ASSERT_TRUE(prepareForRun());  // every run start fills them afresh, without doubles

  EXPECT_FALSE(g_isMsfs2020.load());
  const std::vector<std::string> range = comboEntries(control(prm::RANGE.controlId()));
  const std::vector<std::string> twenty{"2",  "3",  "4",  "5",  "6",  "8",  "10", "12", "14", "16",
                                        "18", "20", "25", "30", "35", "40", "50", "65", "80", "100"};
  EXPECT_EQ(range, twenty);
  EXPECT_EQ(drv::windowText(control(prm::RANGE.controlId())), "25");
  EXPECT_EQ(drv::windowText(control(prm::SIM_CHOICE.controlId())), "MSFS 2024");
  EXPECT_EQ(comboEntries(control(prm::SIM_CHOICE.controlId())), (std::vector<std::string>{"MSFS 2020", "MSFS 2024"}));
  EXPECT_EQ(drv::windowText(control(prm::AI_PACKAGE_SELECTOR.controlId())), "AIG, FSLTL, JF");
  EXPECT_EQ(comboEntries(control(prm::AI_PACKAGE_SELECTOR.controlId())).size(), 6u);
  EXPECT_EQ(drv::windowText(control(prm::MAX_LIVE_SEL.controlId())), "200");
  EXPECT_EQ(drv::windowText(control(prm::MAX_PARK_SEL.controlId())), "500");
  EXPECT_EQ(drv::windowText(control(prm::MATCHING_DEPTH.controlId())), "5");
  EXPECT_EQ(drv::windowText(control(prm::AR_ABOVE_HEIGHT.controlId())), "24000");
  EXPECT_EQ(drv::windowText(control(prm::AIRP_HEIGHT.controlId())), "18000");
  // A value that is no choice is shown all the same, in its numeric place.
  const std::vector<std::string> airportRange = comboEntries(control(prm::AIRP_RANGE.controlId()));
  EXPECT_EQ(drv::windowText(control(prm::AIRP_RANGE.controlId())), "23");
  ASSERT_EQ(airportRange.size(), 12u);
  EXPECT_EQ(airportRange[8], "20");
  EXPECT_EQ(airportRange[9], "23");
  EXPECT_EQ(airportRange[10], "25");

  // Checkboxes and fields follow the settings read at the start of the run.
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::LOG.controlId()), BST_CHECKED);
  EXPECT_EQ(drv::windowText(control(prm::parking_percentage.controlId())), "45");
  EXPECT_EQ(drv::windowText(control(prm::MAX_FIT_FL.controlId())), "7.5");
  // The controls that depend on the simulator and on other settings.
  EXPECT_FALSE(IsWindowEnabled(control(prm::CALLSIGN_OBJECTIDS.controlId())));
  EXPECT_FALSE(IsWindowEnabled(control(prm::AI_PACKAGE_SELECTOR.controlId())));
  EXPECT_FALSE(IsWindowEnabled(control(prm::RANGE.controlId())));
  EXPECT_TRUE(IsWindowEnabled(control(prm::AR_ABOVE_HEIGHT.controlId())));

  prm::SIM_CHOICE.set("MSFS 2020");
  prm::AUTO_RANGE.set(false);
  ASSERT_TRUE(prepareForRun());
  EXPECT_TRUE(g_isMsfs2020.load());
  EXPECT_TRUE(IsWindowEnabled(control(prm::CALLSIGN_OBJECTIDS.controlId())));
  EXPECT_TRUE(IsWindowEnabled(control(prm::RANGE.controlId())));
  EXPECT_FALSE(IsWindowEnabled(control(prm::AR_ABOVE_HEIGHT.controlId())));

  // A user's pick of the twentieth entry reaches the window as a selection change.
  EXPECT_TRUE(drv::pickComboEntry(control(prm::RANGE.controlId()), 19));
  EXPECT_EQ(drv::windowText(control(prm::RANGE.controlId())), "100");
}
