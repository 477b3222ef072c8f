// The program as a whole under Wine: its window, keyboard focus cycle, start-up values, the log
// of real exchanges with a loopback server, its closing and its failure boxes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "ControlIds.h"
#include "FixedPortServer.h"
#include "ProgramUnderTest.h"
#include "failures/Exceptions.h"

namespace vxt::uitest {
namespace {

using namespace vxt::win32;

constexpr char kBegin[] = "Pocetak prijema podataka...sacekajte kraj prenosa...\r\n";
constexpr char kEnd[] = "Prijem podataka zavrsen\r\n";
constexpr char kPrefix[] = "Error while connecting to TCP SERVER:\r";

class MainWindowUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Rectangles of the program's (DPI-aware) window in real pixels, not scaled for us.
    SetProcessDPIAware();
  }

  // Starts the program of this case and waits for its visible window.
  void StartProgram(ProgramUnderTest& program) {
    ASSERT_TRUE(program.Start());
    ASSERT_NE(program.WaitForMainWindow(true), nullptr) << "no visible TVXTMain window";
  }

  // Closes the window the way the title bar's close button does and waits for the end.
  static void CloseProgram(ProgramUnderTest& program) {
    PostMessageA(program.MainWindow(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(10000)) << "the program did not end after WM_CLOSE";
  }

  static int Dpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
  }
  static int Scaled(int value) { return MulDiv(value, Dpi(), 96); }

  static std::string Settings(const std::string& customer, const std::string& pin,
                              const std::string& server) {
    return "KUPAC_ID=" + customer + "\r\nKUPAC_PIN=" + pin + "\r\nVXTSERVER=" + server + "\r\n";
  }

  static std::string TwoDigits(int value) {
    char text[8];
    wsprintfA(text, "%02d", value);
    return text;
  }
};

struct ExpectedControl {
  int id;
  const char* class_name;
  const char* text;  // nullptr: not checked here
  int left, top, width, height;
  bool tab_stop;
};

TEST_F(MainWindowUi, LayoutMatchesTheDesignAt96DpiScaledToTheSessionsDpi) {
  ProgramUnderTest program("Layout");
  StartProgram(program);
  HWND window = program.MainWindow();

  EXPECT_EQ(WindowText(window), "BRAXO Tarnwell podaci uzivo");
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Scaled(349));
  EXPECT_EQ(client.bottom, Scaled(275));

  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the window must not be resizable";
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(GetMenu(window), nullptr);

  RECT frame;
  GetWindowRect(window, &frame);
  int centre_x = (frame.left + frame.right) / 2;
  int centre_y = (frame.top + frame.bottom) / 2;
  EXPECT_LE(std::abs(centre_x - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
  EXPECT_LE(std::abs(centre_y - GetSystemMetrics(SM_CYSCREEN) / 2), 1);

  const ExpectedControl expected[] = {
      {kBitBtn1Id, "Button", "Izvjestaj", 127, 95, 75, 25, true},
      {kEdit1Id, "Edit", VXT_EXPECTED_SERVER, 46, 5, 121, 21, true},
      {kLabel1Id, "Static", "Server", 8, 8, 32, 13, false},
      {kMemo1Id, "Edit", "", 8, 135, 333, 104, true},
      {kLabel3Id, "Static", "Kupac", 8, 43, 29, 13, false},
      {kEdit3Id, "Edit", "2", 6, 57, 45, 21, true},
      {kD1Id, "SysDateTimePick32", nullptr, 109, 57, 112, 21, true},
      {kD2Id, "SysDateTimePick32", nullptr, 226, 57, 113, 21, true},
      {kPbId, "msctls_progress32", nullptr, 8, 245, 333, 17, false},
      {kLabel2Id, "Static", "PIN", 60, 43, 17, 13, false},
      {kEdit2Id, "Edit", VXT_EXPECTED_PIN, 58, 57, 45, 21, true},
      {kLabel4Id, "Static", "Period", 109, 43, 30, 13, false},
      {kVlId, "SysListView32", nullptr, 345, 67, 306, 300, true},
  };
  for (const ExpectedControl& control : expected) {
    SCOPED_TRACE("control " + std::to_string(control.id));
    HWND hwnd = program.Control(control.id);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(ClassNameOf(hwnd), control.class_name);
    if (control.text) {
      EXPECT_EQ(WindowText(hwnd), control.text);
    }
    RECT rect;
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, Scaled(control.left));
    EXPECT_EQ(rect.top, Scaled(control.top));
    EXPECT_EQ(rect.right - rect.left, Scaled(control.width));
    EXPECT_EQ(rect.bottom - rect.top, Scaled(control.height));
    EXPECT_EQ((GetWindowLongA(hwnd, GWL_STYLE) & WS_TABSTOP) != 0, control.tab_stop);
    EXPECT_TRUE(IsWindowVisible(hwnd));
  }

  // The log: wraps, takes Return, no scroll bars, editable, no length limit to speak of.
  LONG memo_style = GetWindowLongA(program.Control(kMemo1Id), GWL_STYLE);
  EXPECT_TRUE(memo_style & ES_MULTILINE);
  EXPECT_TRUE(memo_style & ES_WANTRETURN);
  EXPECT_FALSE(memo_style & ES_AUTOHSCROLL) << "long lines must wrap";
  EXPECT_FALSE(memo_style & (WS_VSCROLL | WS_HSCROLL));
  EXPECT_FALSE(memo_style & ES_READONLY);
  DWORD_PTR limit = 0;
  SendMessageTimeoutA(program.Control(kMemo1Id), EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, 5000, &limit);
  EXPECT_GE(limit, 0x7FFFFFFEu);
  EXPECT_FALSE(GetWindowLongA(program.Control(kEdit2Id), GWL_STYLE) & ES_PASSWORD);
  EXPECT_TRUE(GetWindowLongA(program.Control(kPbId), GWL_STYLE) & PBS_SMOOTH);
  for (int id : {kD1Id, kD2Id}) {
    // The short date format is the style without the long-date and time bits.
    EXPECT_EQ(GetWindowLongA(program.Control(id), GWL_STYLE) & (DTS_LONGDATEFORMAT | DTS_TIMEFORMAT),
              0);
  }

  // The settings list sticks out of the client area but for a strip of 4 pixels.
  RECT list;
  GetWindowRect(program.Control(kVlId), &list);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&list), 2);
  EXPECT_EQ(client.right - list.left, Scaled(4));

  // The progress bar starts empty.
  DWORD_PTR position = 1;
  SendMessageTimeoutA(program.Control(kPbId), PBM_GETPOS, 0, 0, SMTO_NORMAL, 5000, &position);
  EXPECT_EQ(position, 0u);

  CloseProgram(program);
}

TEST_F(MainWindowUi, TabWalksTheControlsInTheirOrderAndSkipsLabelsAndTheProgressBar) {
  ProgramUnderTest program("TabOrder");
  StartProgram(program);
  HWND button = program.Control(kBitBtn1Id);
  if (program.FocusedControl() != button) {
    ASSERT_TRUE(program.FocusControl(button));
  }

  const int cycle[] = {kEdit1Id, kMemo1Id, kEdit3Id, kD1Id, kD2Id, kEdit2Id, kVlId, kBitBtn1Id};
  for (int id : cycle) {
    HWND before = program.FocusedControl();
    program.PressTab();
    HWND expected = program.Control(id);
    EXPECT_TRUE(WaitUntil([&] { return program.FocusedControl() == expected; }, 3000))
        << "Tab from control " << GetDlgCtrlID(before) << " went to "
        << GetDlgCtrlID(program.FocusedControl()) << ", not to " << id;
  }
  // Tab in the log moves on and types nothing into it.
  EXPECT_EQ(program.LogText(), "");
  CloseProgram(program);
}

TEST_F(MainWindowUi, ThePeriodIsTheCurrentMonthAndTheFieldsHoldTheirDefaults) {
  ProgramUnderTest program("Period");
  StartProgram(program);
  SYSTEMTIME today;
  GetLocalTime(&today);
  SYSTEMTIME first{}, last{};
  ASSERT_TRUE(program.ReadControlTime(program.Control(kD1Id), first));
  ASSERT_TRUE(program.ReadControlTime(program.Control(kD2Id), last));
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int year = today.wYear;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int last_day = today.wMonth == 2 && leap ? 29 : kDays[today.wMonth - 1];
  EXPECT_EQ(first.wYear, today.wYear);
  EXPECT_EQ(first.wMonth, today.wMonth);
  EXPECT_EQ(first.wDay, 1);
  EXPECT_EQ(last.wYear, today.wYear);
  EXPECT_EQ(last.wMonth, today.wMonth);
  EXPECT_EQ(last.wDay, last_day);

  EXPECT_EQ(WindowText(program.Control(kEdit1Id)), VXT_EXPECTED_SERVER);
  EXPECT_EQ(WindowText(program.Control(kEdit3Id)), "2");
  EXPECT_EQ(WindowText(program.Control(kEdit2Id)), VXT_EXPECTED_PIN);
  EXPECT_FALSE(program.FileExists("VXTVannikorde.ini")) << "nothing is written before the close";

  // The close writes the three fields, edited or not.
  SetWindowTextOf(program.Control(kEdit3Id), "41");
  SetWindowTextOf(program.Control(kEdit2Id), "");
  SetWindowTextOf(program.Control(kEdit1Id), "a=b ");
  CloseProgram(program);
  std::string saved;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", saved));
  EXPECT_EQ(saved, Settings("41", "", "a=b "));
}

TEST_F(MainWindowUi, SettingsFromTheFileFillTheFieldsAtStart) {
  ProgramUnderTest program("SettingsLoad");
  program.WriteFile("VXTVannikorde.ini", "kupac_id=17\nVXTSERVER=10.1.2.3\rKUPAC_ID=99\r\n");
  StartProgram(program);
  EXPECT_EQ(WindowText(program.Control(kEdit3Id)), "17");
  EXPECT_EQ(WindowText(program.Control(kEdit2Id)), "") << "a missing name empties its field";
  EXPECT_EQ(WindowText(program.Control(kEdit1Id)), "10.1.2.3");
  CloseProgram(program);
  std::string saved;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", saved));
  EXPECT_EQ(saved, Settings("17", "", "10.1.2.3"));
}

}  // namespace
}  // namespace vxt::uitest
