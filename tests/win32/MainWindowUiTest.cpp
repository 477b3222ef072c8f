// The program as a whole under Wine: its window, keyboard focus cycle, start-up values, the log
// of real exchanges with a loopback server, its closing and its failure boxes.

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "ControlIds.h"
#include "FixedPortServer.h"
#include "ProgramUnderTest.h"
#include "support/WindowTexts.h"

namespace vxt::uitest {
namespace {

using namespace vxt::win32;
using vxt::testing::kApplicationTitleText;
using vxt::testing::kBeginLine;
using vxt::testing::kCaptionText;
using vxt::testing::kEndLine;
using vxt::testing::kFailurePrefix;
using vxt::testing::kNotOpenedPrefix;
using vxt::testing::kServerDroppedLine;

// The log's text with these entries: each ends with CR LF.
std::string LogOf(std::initializer_list<std::string> entries) {
  std::string log;
  for (const std::string& entry : entries) log += entry + "\r\n";
  return log;
}

// Clicks the report button and expects the log to read expected_log once the exchange has
// ended.
void ExpectReport(ProgramUnderTest& program, const std::string& expected_log) {
  EXPECT_EQ(program.RunReportExpecting(expected_log), expected_log);
}

// The last day of a month, written out.
int LastDayOf(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

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
  bool fits_text = false;  // a label: at least as wide as its text, whatever the font
};

// The width of text in the window's font as the program asks for it (Tahoma, 8 points) at
// dpi. The label's own font cannot be read from here: WM_GETFONT fails across processes under
// Wine, and a font handle is of no use outside its process anyway. The same request in the
// same prefix maps to the same face, Tahoma or the substitute for it. -1: not measurable.
int TextWidthInWindowFont(const std::string& text, int dpi) {
  HFONT font = CreateFontA(MulDiv(-11, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
  HDC dc = GetDC(nullptr);
  SIZE extent{-1, -1};
  HGDIOBJ old = font && dc ? SelectObject(dc, font) : nullptr;
  if (!old || !GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent)) {
    extent.cx = -1;
  }
  if (old) SelectObject(dc, old);
  if (dc) ReleaseDC(nullptr, dc);
  if (font) DeleteObject(font);
  return extent.cx;
}

// A label keeps its designed place and height and takes the width of its text when that is
// more than the designed width: no font the system substitutes and no scaling clips it. The
// position and size are the designed ones at 96 dpi.
void ExpectLabelFitsItsText(HWND window, HWND label, int dpi, int left, int top, int width,
                            int height) {
  const std::string text = WindowText(label);
  const int text_width = TextWidthInWindowFont(text, dpi);
  ASSERT_GT(text_width, 0) << "\"" << text << "\" could not be measured";
  RECT rect;
  GetWindowRect(label, &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, MulDiv(left, dpi, 96));
  EXPECT_EQ(rect.top, MulDiv(top, dpi, 96));
  EXPECT_EQ(rect.bottom - rect.top, MulDiv(height, dpi, 96));
  RECT client;
  GetClientRect(label, &client);
  EXPECT_EQ(client.right, std::max(MulDiv(width, dpi, 96), text_width))
      << "label \"" << text << "\" is " << client.right << " px wide, its text " << text_width;
}

TEST_F(MainWindowUi, LayoutMatchesTheDesignAt96DpiScaledToTheSessionsDpi) {
  ProgramUnderTest program("Layout");
  StartProgram(program);
  HWND window = program.MainWindow();

  EXPECT_EQ(WindowText(window), kCaptionText);
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
      {kLabel1Id, "Static", "Server", 8, 8, 32, 13, false, true},
      {kMemo1Id, "Edit", "", 8, 135, 333, 104, true},
      {kLabel3Id, "Static", "Kupac", 8, 43, 29, 13, false, true},
      {kEdit3Id, "Edit", "2", 6, 57, 45, 21, true},
      {kD1Id, "SysDateTimePick32", nullptr, 109, 57, 112, 21, true},
      {kD2Id, "SysDateTimePick32", nullptr, 226, 57, 113, 21, true},
      {kPbId, "msctls_progress32", nullptr, 8, 245, 333, 17, false},
      {kLabel2Id, "Static", "PIN", 60, 43, 17, 13, false, true},
      {kEdit2Id, "Edit", VXT_EXPECTED_PIN, 58, 57, 45, 21, true},
      {kLabel4Id, "Static", "Period", 109, 43, 30, 13, false, true},
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
    if (control.fits_text) {
      ExpectLabelFitsItsText(window, hwnd, Dpi(), control.left, control.top, control.width,
                             control.height);
    } else {
      RECT rect;
      GetWindowRect(hwnd, &rect);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
      EXPECT_EQ(rect.left, Scaled(control.left));
      EXPECT_EQ(rect.top, Scaled(control.top));
      EXPECT_EQ(rect.right - rect.left, Scaled(control.width));
      EXPECT_EQ(rect.bottom - rect.top, Scaled(control.height));
    }
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
    EXPECT_EQ(
        GetWindowLongA(program.Control(id), GWL_STYLE) & (DTS_LONGDATEFORMAT | DTS_TIMEFORMAT), 0);
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
  EXPECT_EQ(first.wYear, today.wYear);
  EXPECT_EQ(first.wMonth, today.wMonth);
  EXPECT_EQ(first.wDay, 1);
  EXPECT_EQ(last.wYear, today.wYear);
  EXPECT_EQ(last.wMonth, today.wMonth);
  EXPECT_EQ(last.wDay, LastDayOf(today.wYear, today.wMonth));

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

TEST_F(MainWindowUi, TheEndOfTheSessionEndsTheProgramWithoutSaving) {
  ProgramUnderTest program("EndSession");
  program.WriteFile("VXTVannikorde.ini", Settings("3", "4", "5"));
  StartProgram(program);
  SetWindowTextOf(program.Control(kEdit3Id), "changed");
  PostMessageA(program.MainWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  PostMessageA(program.MainWindow(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(program.WaitForExit(10000));
  std::string after;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", after));
  EXPECT_EQ(after, Settings("3", "4", "5"));
}

// The session's DPI is read when a program starts; this case starts one at 144 dpi.
class ScopedLogPixels {
 public:
  explicit ScopedLogPixels(DWORD dpi) {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    DWORD size = sizeof old_;
    had_old_ = RegQueryValueExA(key_, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                                &size) == ERROR_SUCCESS;
    RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
  }
  ~ScopedLogPixels() {
    if (!key_) return;
    if (had_old_) {
      RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                     sizeof old_);
    } else {
      RegDeleteValueA(key_, "LogPixels");
    }
    RegCloseKey(key_);
  }
  bool Set() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_old_ = false;
};

TEST_F(MainWindowUi, At144DpiEveryPositionAndSizeIsOneAndAHalfTimesTheDesign) {
  ProgramUnderTest program("Dpi144");
  {
    ScopedLogPixels dpi(144);
    ASSERT_TRUE(dpi.Set());
    StartProgram(program);
  }
  HWND window = program.MainWindow();
  RECT client;
  GetClientRect(window, &client);
  if (client.right == 349)
    GTEST_SKIP() << "this Wine does not take the session DPI from the registry";
  EXPECT_EQ(client.right, 524);   // 349 * 1.5, rounded
  EXPECT_EQ(client.bottom, 413);  // 275 * 1.5, rounded
  struct Expected {
    int id, left, top, width, height;
  } const expected[] = {
      {kBitBtn1Id, 191, 143, 113, 38},  // 127, 95, 75 x 25
      {kMemo1Id, 12, 203, 500, 156},    // 8, 135, 333 x 104
      {kVlId, 518, 101, 459, 450},      // 345, 67, 306 x 300
  };
  for (const Expected& control : expected) {
    SCOPED_TRACE("control " + std::to_string(control.id));
    RECT rect;
    GetWindowRect(program.Control(control.id), &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, control.left);
    EXPECT_EQ(rect.top, control.top);
    EXPECT_EQ(rect.right - rect.left, control.width);
    EXPECT_EQ(rect.bottom - rect.top, control.height);
  }
  // The labels, by their design at 96 dpi and their text in the font of 144 dpi.
  const Expected labels[] = {
      {kLabel1Id, 8, 8, 32, 13},
      {kLabel3Id, 8, 43, 29, 13},
      {kLabel2Id, 60, 43, 17, 13},
      {kLabel4Id, 109, 43, 30, 13},
  };
  for (const Expected& label : labels) {
    SCOPED_TRACE("label " + std::to_string(label.id));
    ExpectLabelFitsItsText(window, program.Control(label.id), 144, label.left, label.top,
                           label.width, label.height);
  }
  CloseProgram(program);
}

// The default failure display: the application title as caption, the message and its ".".
void ExpectFileFailureBox(const MessageBoxContent& box, const std::string& start) {
  ASSERT_NE(box.box, nullptr) << "no message box";
  EXPECT_EQ(box.caption, kApplicationTitleText);
  EXPECT_EQ(box.text.rfind(start, 0), 0u) << box.text;
  // The system's text of the error, without its own final stop, then the one appended.
  ASSERT_GT(box.text.size(), start.size() + 1) << box.text;
  EXPECT_EQ(box.text.back(), '.');
  EXPECT_NE(box.text[box.text.size() - 2], '.') << box.text;
  EXPECT_EQ(box.text.find('\r'), std::string::npos) << box.text;
}

TEST_F(MainWindowUi, ASettingsFileHeldOpenIsReportedBeforeTheWindowOpensWithItsDefaults) {
  ProgramUnderTest program("LoadFailure");
  program.WriteFile("VXTVannikorde.ini", Settings("5", "6", "7"));
  HANDLE held =
      CreateFileA(program.PathOf("VXTVannikorde.ini").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(program.Start());

  MessageBoxContent box = program.WaitForMessageBox();
  ExpectFileFailureBox(box, "Cannot open file \"" + program.PathOf("VXTVannikorde.ini") + "\". ");
  // The window exists but has not appeared yet.
  HWND window = program.WaitForMainWindow(false, 5000);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));

  ProgramUnderTest::PressOk(box.box);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
  EXPECT_EQ(WindowText(program.Control(kEdit3Id)), "2");
  EXPECT_EQ(WindowText(program.Control(kEdit2Id)), VXT_EXPECTED_PIN);
  EXPECT_EQ(WindowText(program.Control(kEdit1Id)), VXT_EXPECTED_SERVER);
  CloseHandle(held);

  CloseProgram(program);
  std::string saved;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", saved));
  EXPECT_EQ(saved, Settings("2", VXT_EXPECTED_PIN, VXT_EXPECTED_SERVER));
}

TEST_F(MainWindowUi, ASettingsFileThatCannotBeCreatedIsReportedAtCloseAndTheProgramStillEnds) {
  ProgramUnderTest program("SaveFailure");
  // A folder of the settings file's name: the load finds no file, the save cannot create one.
  ASSERT_TRUE(CreateDirectoryA(program.PathOf("VXTVannikorde.ini").c_str(), nullptr));
  StartProgram(program);
  EXPECT_EQ(WindowText(program.Control(kEdit3Id)), "2");
  SetWindowTextOf(program.Control(kEdit3Id), "10");

  PostMessageA(program.MainWindow(), WM_CLOSE, 0, 0);
  MessageBoxContent box = program.WaitForMessageBox();
  ExpectFileFailureBox(box, "Cannot create file \"" + program.PathOf("VXTVannikorde.ini") + "\". ");
  EXPECT_TRUE(program.Running()) << "the box is modal: the program waits for it";
  ProgramUnderTest::PressOk(box.box);
  EXPECT_TRUE(program.WaitForExit(10000)) << "the program must end after the box";

  DWORD attributes = GetFileAttributesA(program.PathOf("VXTVannikorde.ini").c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // Nor is any temporary file of the failed save left beside it.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(program.PathOf("VXTVannikorde.ini.*.tmp").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << found.cFileName;
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  EXPECT_FALSE(program.FileExists("VXTVannikorde.ini.tmp"));
}

TEST_F(MainWindowUi, AReadOnlySettingsFileLoadsAndIsReportedAtCloseUnchanged) {
  ProgramUnderTest program("ReadOnlySettings");
  const std::string before = Settings("8", "9", "127.0.0.99");
  program.WriteFile("VXTVannikorde.ini", before);
  ASSERT_TRUE(
      SetFileAttributesA(program.PathOf("VXTVannikorde.ini").c_str(), FILE_ATTRIBUTE_READONLY));
  StartProgram(program);
  EXPECT_EQ(WindowText(program.Control(kEdit3Id)), "8") << "a read-only file loads normally";
  SetWindowTextOf(program.Control(kEdit3Id), "10");

  PostMessageA(program.MainWindow(), WM_CLOSE, 0, 0);
  MessageBoxContent box = program.WaitForMessageBox();
  ExpectFileFailureBox(box, "Cannot create file \"" + program.PathOf("VXTVannikorde.ini") + "\". ");
  ProgramUnderTest::PressOk(box.box);
  EXPECT_TRUE(program.WaitForExit(10000)) << "the program must end after the box";
  std::string after;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", after));
  EXPECT_EQ(after, before);
}

// Two copies of the program closed at the same moment save one settings file at once. However
// their saves interleave, the file ends as one copy's whole block, and nothing of either save
// (a temporary file, the old file set aside) stays beside the program.
TEST_F(MainWindowUi, TwoCopiesClosingAtOnceLeaveOneWholeSettingsFileAndNothingElse) {
  const std::string first_block = Settings("111", "1111", "127.0.0.11");
  const std::string second_block = Settings("222", "2222", "127.0.0.22");
  for (int round = 1; round <= 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ProgramUnderTest first("TwoCopies");
    ProgramUnderTest second(ProgramUnderTest::SecondCopy{}, first);
    first.WriteFile("VXTVannikorde.ini", Settings("3", "3333", "127.0.0.3"));
    StartProgram(first);
    StartProgram(second);
    SetWindowTextOf(first.Control(kEdit3Id), "111");
    SetWindowTextOf(first.Control(kEdit2Id), "1111");
    SetWindowTextOf(first.Control(kEdit1Id), "127.0.0.11");
    SetWindowTextOf(second.Control(kEdit3Id), "222");
    SetWindowTextOf(second.Control(kEdit2Id), "2222");
    SetWindowTextOf(second.Control(kEdit1Id), "127.0.0.22");
    PostMessageA(first.MainWindow(), WM_CLOSE, 0, 0);
    PostMessageA(second.MainWindow(), WM_CLOSE, 0, 0);
    for (ProgramUnderTest* program : {&first, &second}) {
      if (program->WaitForExit(10000)) continue;
      ADD_FAILURE() << "a copy did not end; it shows \"" << program->WaitForMessageBox(1000).text
                    << "\"";
    }
    std::string saved;
    ASSERT_TRUE(first.ReadFile("VXTVannikorde.ini", saved));
    EXPECT_TRUE(saved == first_block || saved == second_block) << saved;
    EXPECT_EQ(first.FileNames(),
              (std::vector<std::string>{"VXTVannikorde.exe", "VXTVannikorde.ini"}));
  }
}

// Sets the load order of DLLs for the programs of one file name, through Wine's per-program
// overrides (Wine takes WINEDLLOVERRIDES from its own environment, not from a started
// program's).
class ScopedDllOverrides {
 public:
  ScopedDllOverrides(const std::string& program_name, const std::vector<std::string>& dlls,
                     const char* order)
      : dlls_(dlls) {
    path_ = "Software\\Wine\\AppDefaults\\" + program_name + "\\DllOverrides";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key_, nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    for (const std::string& dll : dlls_) {
      if (RegSetValueExA(key_, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                         static_cast<DWORD>(std::strlen(order) + 1)) != ERROR_SUCCESS) {
        all_set_ = false;
      }
    }
  }
  ~ScopedDllOverrides() {
    if (!key_) return;
    for (const std::string& dll : dlls_) RegDeleteValueA(key_, dll.c_str());
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  }
  bool Set() const { return key_ != nullptr && all_set_; }

 private:
  std::string path_;
  std::vector<std::string> dlls_;
  HKEY key_ = nullptr;
  bool all_set_ = true;
};

TEST_F(MainWindowUi, ASocketLibraryThatCannotBeLoadedEndsTheStartWithTheApplicationErrorBox) {
  // A name of its own, so that no other case's program loses its socket library; the box
  // names the executable by its file name.
  const std::string name = "VXTVannikordeNoSockets.exe";
  ProgramUnderTest program("StartupFailure", name);
  // An empty load order: neither the built-in nor a native copy is loaded.
  ScopedDllOverrides no_sockets(name, {"ws2_32"}, "");
  ASSERT_TRUE(no_sockets.Set());
  ASSERT_TRUE(program.Start());
  MessageBoxContent box = program.WaitForMessageBox();
  ASSERT_NE(box.box, nullptr);
  EXPECT_EQ(box.caption, "Application Error");
  const std::string start = "Exception EIdWinsockStubError in module " + name + " at ";
  ASSERT_EQ(box.text.rfind(start, 0), 0u) << box.text;
  // Eight hexadecimal figures of an address, then the message with its final stop.
  std::string address = box.text.substr(start.size(), 8);
  EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos) << box.text;
  const std::string message_start = ".\r\nError on loading Winsock2 library (WS2_32.DLL): ";
  EXPECT_EQ(box.text.substr(start.size() + 8, message_start.size()), message_start) << box.text;
  ASSERT_GE(box.text.size(), 3u);
  EXPECT_EQ(box.text.substr(box.text.size() - 3), ".\r\n") << box.text;
  EXPECT_NE(box.text.substr(box.text.size() - 4), "..\r\n") << box.text;
  EXPECT_EQ(program.WaitForMainWindow(true, 0), nullptr) << "the window never appears";
  EXPECT_TRUE(program.Running()) << "the box is modal";

  ProgramUnderTest::PressOk(box.box);
  DWORD exit_code = 0;
  ASSERT_TRUE(program.WaitForExit(10000, &exit_code));
  EXPECT_NE(exit_code, 0u);
  EXPECT_FALSE(program.FileExists("VXTVannikorde.ini"));
}

std::string ExpectedRequest(const std::string& customer, const std::string& pin) {
  SYSTEMTIME today;
  GetLocalTime(&today);
  int year = today.wYear;
  int last_day = LastDayOf(year, today.wMonth);
  char line[128];
  wsprintfA(line, "IZVJ %s 01-%02d-%04d %02d-%02d-%04d %s \r\n", customer.c_str(), today.wMonth,
            year, last_day, today.wMonth, year, pin.c_str());
  return line;
}

DWORD_PTR Query(HWND control, UINT message, WPARAM wparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(control, message, wparam, 0, SMTO_NORMAL, 5000, &result);
  return result;
}

TEST_F(MainWindowUi, ATextReplyIsLoggedAfterTheReceptionLinesAndTheBarEndsEmpty) {
  const std::string reply = "Racun za kupca 2 je spreman\r\ndruga linija\r\n";
  FixedPortServer server("127.0.0.31", {0, reply});
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("TextReply");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.31"));

  ExpectReport(program, LogOf({kBeginLine, kEndLine, "Racun za kupca 2 je spreman"}));
  ASSERT_EQ(server.Connections(), 1u);
  EXPECT_EQ(server.Requests()[0], ExpectedRequest("2", VXT_EXPECTED_PIN));
  std::string received;
  ASSERT_TRUE(program.ReadFile("response.pdf", received)) << "the reply lies beside the program";
  EXPECT_EQ(received, reply);
  HWND bar = program.Control(kPbId);
  EXPECT_EQ(Query(bar, PBM_GETRANGE, FALSE), 150000u) << "no total announced";
  EXPECT_EQ(Query(bar, PBM_GETPOS), 0u);
  CloseProgram(program);
}

TEST_F(MainWindowUi, AnEmptyReplySaysTheServerDroppedTheConnection) {
  FixedPortServer server("127.0.0.32", {300, ""});
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("EmptyReply");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.32"));
  // Whether the close comes before or after the first connection test decides whether the
  // reception lines stand before the outcome.
  std::string log = program.RunReportExpectingOneOf(
      {LogOf({kBeginLine, kEndLine, kServerDroppedLine}), LogOf({kServerDroppedLine})});
  EXPECT_TRUE(log == LogOf({kBeginLine, kEndLine, kServerDroppedLine}) ||
              log == LogOf({kServerDroppedLine}))
      << log;
  std::string received = "x";
  ASSERT_TRUE(program.ReadFile("response.pdf", received));
  EXPECT_EQ(received, "");
  CloseProgram(program);
}

TEST_F(MainWindowUi, FailuresAreLoggedAfterTheFixedPrefix) {
  FixedPortServer server("127.0.0.33", {0, "ok\r\n"});
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("Failures");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.33"));
  ExpectReport(program, LogOf({kBeginLine, kEndLine, "ok"}));
  EXPECT_TRUE(program.FileExists("response.pdf"));

  // Nothing listens on this address: the connection is refused, and the previous response
  // file is gone already.
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.34"));
  ExpectReport(program, LogOf({kFailurePrefix +
                               std::string("Socket Error # 10061\r\nConnection refused.")}));
  EXPECT_FALSE(program.FileExists("response.pdf"));

  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), ""));
  ExpectReport(program, LogOf({kFailurePrefix}));
  EXPECT_EQ(server.Connections(), 1u);
  CloseProgram(program);
}

// Points .pdf at a class without any verb while it lives: the shell has no viewer for a
// report then, and says so (this Wine's own prefix hands .pdf to its browser, which always
// starts). The previous class comes back at the end.
class ScopedPdfWithoutViewer {
 public:
  ScopedPdfWithoutViewer() {
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, ".pdf", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key_, &disposition) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    created_ = disposition == REG_CREATED_NEW_KEY;
    char old[256];
    DWORD size = sizeof old - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
      old[size] = '\0';
      old_class_ = old;
      had_class_ = true;
    }
    static const char kNoViewer[] = "VXTVannikorde.NoViewer";
    if (RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kNoViewer),
                       sizeof kNoViewer) != ERROR_SUCCESS) {
      Restore();
    }
  }
  ~ScopedPdfWithoutViewer() { Restore(); }
  bool Set() const { return key_ != nullptr; }

 private:
  void Restore() {
    if (!key_) return;
    if (had_class_) {
      RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_class_.c_str()),
                     static_cast<DWORD>(old_class_.size() + 1));
    } else {
      RegDeleteValueA(key_, nullptr);
    }
    RegCloseKey(key_);
    key_ = nullptr;
    if (created_) RegDeleteKeyA(HKEY_CLASSES_ROOT, ".pdf");
  }

  HKEY key_ = nullptr;
  bool created_ = false;
  bool had_class_ = false;
  std::string old_class_;
};

TEST_F(MainWindowUi, AReportTheShellCannotOpenStaysSavedAndTheLogSaysWhere) {
  const std::string report = "%PDF-1.4\n" + std::string(3000, 'p') + "\n%%EOF\n";
  FixedPortServer server("127.0.0.39", {0, report});
  ASSERT_TRUE(server.Listening());
  ScopedPdfWithoutViewer no_viewer;
  ASSERT_TRUE(no_viewer.Set());
  ProgramUnderTest program("ReportNotOpened");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.39"));

  ExpectReport(program,
               LogOf({kBeginLine, kEndLine, kNotOpenedPrefix + program.PathOf("response.pdf")}));
  std::string received;
  ASSERT_TRUE(program.ReadFile("response.pdf", received));
  EXPECT_EQ(received, report);
  CloseProgram(program);
}

// The system DLLs that the program and the libraries it uses load in a start and a whole
// report with the PDF opened, as Wine's loader trace lists them, and a few more of the shell's.
// Wine takes its own copy of each, wherever a file of the name lies: what it loads shows.
const std::vector<std::string> kSystemDllNames = {
    "advapi32", "combase", "comctl32", "gdi32",   "imm32",   "kernel32", "kernelbase", "msimg32",
    "msvcrt",   "ole32",   "oleaut32", "rpcrt4",  "sechost", "shcore",   "shell32",    "shlwapi",
    "ucrtbase", "user32",  "userenv",  "uxtheme", "version", "win32u",   "ws2_32",     "zlib1"};
// DLLs outside Windows' known-DLL list, which Windows looks for in the program's folder first
// unless the search has been restricted: the crypto stack, theming, the shell's helpers and the
// network's. Wine is told to search so for them (the second row). Not version.dll, which Wine's
// own user32 imports at every start, nor msimg32.dll, which Wine's uxtheme loads late by a
// search that ignores the restriction; Windows' do neither.
const std::vector<std::string> kSearchedDllNames = {
    "bcrypt",  "bcryptprimitives", "crypt32",  "cryptbase", "cryptnet", "cryptsp",  "dpapi",
    "msasn1",  "ncrypt",           "rsaenh",   "wintrust",  "uxtheme",  "dwmapi",   "propsys",
    "winmm",   "mswsock",          "iphlpapi", "dnsapi",    "userenv",  "secur32",  "sspicli",
    "profapi", "powrprof",         "netapi32", "wtsapi32",  "oleacc",   "cfgmgr32", "dbghelp",
    "urlmon",  "wininet",          "ntmarta",  "mpr",       "winhttp",  "dhcpcsvc"};

struct PlantedDlls {
  const char* name;
  const std::vector<std::string>* dlls;
  bool searched_first;  // Wine looks in the program's folder first, as Windows does
};

void PrintTo(const PlantedDlls& row, std::ostream* out) {
  *out << row.name;
}

class PlantedDllsUi : public MainWindowUi, public ::testing::WithParamInterface<PlantedDlls> {};

TEST_P(PlantedDllsUi, NoDllPlantedBesideTheProgramIsLoadedThroughAWholeReport) {
  // A downloads folder: anything may lie beside the program under a system DLL's name.
  const std::string report = "%PDF-1.4\n" + std::string(3000, 'p') + "\n%%EOF\n";
  FixedPortServer server("127.0.0.42", {0, report});
  ASSERT_TRUE(server.Listening());
  // A name of its own, so that the load order set for it holds for no other case.
  const std::string name = "VXTVannikordePlanted.exe";
  ProgramUnderTest program(std::string("PlantedDlls") + GetParam().name, name);
  const std::string stand_in = WinePathOf(VXT_PLANTED_DLL_PATH);
  for (const std::string& dll : *GetParam().dlls) {
    ASSERT_TRUE(program.CopyIn(stand_in, dll + ".dll")) << dll;
  }
  ScopedDllOverrides searched_first(
      name, GetParam().searched_first ? *GetParam().dlls : std::vector<std::string>(),
      "native,builtin");
  ASSERT_TRUE(searched_first.Set());
  program.WriteFile("VXTVannikorde.ini", Settings("2", "1", "127.0.0.42"));
  // Each stand-in that is loaded writes its name here.
  const std::string marker = "planted-dll-loaded.txt";
  auto loaded = [&] {
    std::string names;
    program.ReadFile(marker, names);
    return names;
  };

  ASSERT_TRUE(program.Start());
  // A stand-in that fails to load can keep the program from ever showing its window.
  WaitUntil(
      [&] {
        return program.WaitForMainWindow(true, 0) || !program.Running() ||
               program.FileExists(marker);
      },
      20000);
  ASSERT_FALSE(program.FileExists(marker)) << "loaded from the program's folder:\n" << loaded();
  ASSERT_NE(program.MainWindow(), nullptr) << "no window";
  // Nothing after the reception lines: the shell took the report.
  ExpectReport(program, LogOf({kBeginLine, kEndLine}));
  std::string received;
  ASSERT_TRUE(program.ReadFile("response.pdf", received));
  EXPECT_EQ(received, report);
  CloseProgram(program);
  EXPECT_FALSE(program.FileExists(marker)) << "loaded from the program's folder:\n" << loaded();
}

INSTANTIATE_TEST_SUITE_P(
    Search, PlantedDllsUi,
    ::testing::Values(PlantedDlls{"WineBuiltinsFirst", &kSystemDllNames, false},
                      PlantedDlls{"ProgramFolderFirst", &kSearchedDllNames, true}),
    [](const ::testing::TestParamInfo<PlantedDlls>& row) { return std::string(row.param.name); });

// A program folder named in the user's language with letters that the ANSI code page lacks
// (1252 has Š and Ž, not Đ, đ or ć; through it the folder would read "Ðorde Ivic", which does
// not exist): the program loads its settings there, stores its replies there, names the
// report's path in the code page's letters, and saves its settings there at close.
TEST_F(MainWindowUi, AProgramFolderNamedOutsideTheCodePageHoldsItsSettingsAndReports) {
  const std::string text_reply = "Izvjestaj za kupca 17 je spreman\r\n";
  const std::string report = "%PDF-1.4\n" + std::string(3000, 'p') + "\n%%EOF\n";
  FixedPortServer text_server("127.0.0.42", {0, text_reply});
  FixedPortServer pdf_server("127.0.0.43", {0, report});
  ASSERT_TRUE(text_server.Listening());
  ASSERT_TRUE(pdf_server.Listening());
  ProgramUnderTest program("\u0110or\u0111e Ivi\u0107");  // UTF-8
  program.WriteFile("VXTVannikorde.ini", Settings("17", "4321", "127.0.0.42"));
  StartProgram(program);
  EXPECT_EQ(WindowText(program.Control(kEdit3Id)), "17") << "the settings file was not found";
  EXPECT_EQ(WindowText(program.Control(kEdit2Id)), "4321");
  EXPECT_EQ(WindowText(program.Control(kEdit1Id)), "127.0.0.42");

  const std::string text_log = LogOf({kBeginLine, kEndLine, "Izvjestaj za kupca 17 je spreman"});
  ExpectReport(program, text_log);
  ASSERT_EQ(text_server.Connections(), 1u);
  EXPECT_EQ(text_server.Requests()[0], ExpectedRequest("17", "4321"));
  std::string received;
  ASSERT_TRUE(program.ReadFile("response.pdf", received)) << "the reply lies beside the program";
  EXPECT_EQ(received, text_reply);

  ScopedPdfWithoutViewer no_viewer;
  ASSERT_TRUE(no_viewer.Set());
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.43"));
  const std::string shown_path = program.PathOf("response.pdf");
  EXPECT_NE(shown_path.find("\\\xD0or"), std::string::npos) << "1252 shows Đ as Ð: " << shown_path;
  const std::string pdf_log = LogOf({kBeginLine, kEndLine, kNotOpenedPrefix + shown_path});
  ExpectReport(program, pdf_log);
  ASSERT_TRUE(program.ReadFile("response.pdf", received));
  EXPECT_EQ(received, report);

  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit3Id), "305"));
  CloseProgram(program);
  std::string saved;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", saved));
  EXPECT_EQ(saved, Settings("305", "4321", "127.0.0.43"));
}

TEST_F(MainWindowUi, TheButtonIsGreyWhileAnExchangeRuns) {
  // A short reply in small blocks: the exchange runs for about three seconds, far longer than
  // the two frames after which the button greys. (Between blocks smaller than the receive
  // chunk the window pumps only when it has something to do, the greying among it; the
  // enabled state is read from outside without a message.)
  const std::string reply(200, 'r');
  FixedPortServer server("127.0.0.35", {0, reply, 10, 150});
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("GreyButton");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.35"));

  PostMessageA(program.Control(kBitBtn1Id), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !program.ReportButtonEnabled(); }, 10000))
      << "the button never went grey";
  ASSERT_TRUE(WaitUntil([&] { return server.BytesSent() >= 50; }, 10000));
  EXPECT_FALSE(program.ReportButtonEnabled()) << "grey for as long as the reply arrives";
  ASSERT_TRUE(WaitUntil([&] { return program.ReportButtonEnabled(); }, 20000));
  EXPECT_EQ(program.LogText(), LogOf({kBeginLine, kEndLine, reply}));
  CloseProgram(program);
}

TEST_F(MainWindowUi, ACloseDuringAnExchangeSavesAndEndsTheProgramPromptly) {
  // A reply that never ends, in blocks of the receive chunk's size: after each block the
  // window handles its messages, the close among them.
  ServerScript endless;
  endless.trickle_forever = true;
  endless.trickle_block = 4096;
  endless.pause_between_blocks_ms = 100;
  FixedPortServer server("127.0.0.36", endless);
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("CloseDuringExchange");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.36"));
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit3Id), "77"));

  PostMessageA(program.Control(kBitBtn1Id), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return server.BytesSent() >= 3 * 4096; }, 10000))
      << "the reply never started";
  EXPECT_FALSE(program.ReportButtonEnabled());
  PostMessageA(program.MainWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.WaitForExit(10000)) << "the program still runs after the close";
  EXPECT_TRUE(WaitUntil([&] { return server.ClientGone(); }, 5000)) << "the connection stayed open";

  std::string saved;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", saved));
  EXPECT_EQ(saved, Settings("77", VXT_EXPECTED_PIN, "127.0.0.36"));
  std::string partial;
  ASSERT_TRUE(program.ReadFile("response.pdf", partial));
  EXPECT_GT(partial.size(), 0u) << "what arrived stays in the response file";
}

TEST_F(MainWindowUi, TheBarShowsTheTruePositionWhenTheReplyStalls) {
  // A few blocks at once, then silence: the bar is drawn at the display's pace, so the last
  // moves may wait for the frame's end; the true position must still show while the client
  // waits.
  ServerScript stalling;
  stalling.reply = std::string(8192, 'x');
  stalling.trickle_forever = true;
  stalling.pause_between_blocks_ms = 60000;
  FixedPortServer server("127.0.0.41", stalling);
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("BarWhileStalled");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.41"));

  PostMessageA(program.Control(kBitBtn1Id), BM_CLICK, 0, 0);
  HWND bar = program.Control(kPbId);
  // The client takes whole blocks of 4096 bytes; the rest waits for the next bytes.
  auto whole_blocks = [&] { return server.BytesSent() / 4096 * 4096; };
  EXPECT_TRUE(WaitUntil(
      [&] { return whole_blocks() >= 8192 && Query(bar, PBM_GETPOS) == whole_blocks(); }, 10000))
      << "the bar shows " << Query(bar, PBM_GETPOS) << " while " << whole_blocks()
      << " bytes in whole blocks have arrived";
  PostMessageA(program.MainWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.WaitForExit(10000)) << "the program still runs after the close";
}

TEST_F(MainWindowUi, ACloseWhileASilentServerKeepsTheClientWaitingEndsTheProgramPromptly) {
  // The server reads the request and then says nothing for longer than the test runs: the
  // window must still see the close while the client waits for the first byte.
  FixedPortServer server("127.0.0.38", {60000, "late"});
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("CloseWhileSilent");
  StartProgram(program);
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.38"));

  PostMessageA(program.Control(kBitBtn1Id), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::vector<std::string> requests = server.Requests();
        return !requests.empty() && requests[0].find('\n') != std::string::npos;
      },
      10000))
      << "the request never arrived";
  // No byte comes, yet the exchange is shown: the wait for data sees the tick that shows it
  // as a waiting message and hands it to the window.
  EXPECT_TRUE(WaitUntil([&] { return !program.ReportButtonEnabled(); }, 10000))
      << "the button did not grey while the server was silent";
  PostMessageA(program.MainWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.WaitForExit(10000)) << "the program still runs after the close";
  std::string saved;
  ASSERT_TRUE(program.ReadFile("VXTVannikorde.ini", saved));
  EXPECT_EQ(saved, Settings("2", VXT_EXPECTED_PIN, "127.0.0.38"));
}

// Posts ticks of the window's timer, as the system delivers them while the timer runs.
void PostTicks(HWND window, int count) {
  for (int i = 0; i < count; ++i) PostMessageA(window, WM_TIMER, kTimer1Id, 0);
}

// Waits until the program has handled every message posted to it before: a selection posted
// to Edit1 behind them shows once they are through (posted messages are handled in order).
// Edit1 must hold at least 8 characters. False when the wait gave up.
bool WaitForPostedMessages(const ProgramUnderTest& program) {
  static int mark = 0;
  mark = mark % 8 + 1;
  HWND edit = program.Control(kEdit1Id);
  PostMessageA(edit, EM_SETSEL, 0, mark);
  return WaitUntil(
      [&] { return Query(edit, EM_GETSEL) == static_cast<DWORD_PTR>(MAKELONG(0, mark)); }, 10000);
}

TEST_F(MainWindowUi, TheSystemMenuStartsAndStopsTheLiveStatus) {
  FixedPortServer server("127.0.0.37", {0, "Server radi\r\n"});
  ASSERT_TRUE(server.Listening());
  ProgramUnderTest program("LiveStatus");
  StartProgram(program);
  HWND window = program.MainWindow();
  ASSERT_TRUE(SetWindowTextOf(program.Control(kEdit1Id), "127.0.0.37"));
  const std::string status_log = LogOf({kBeginLine, kEndLine, "Server radi"});
  // The count-th live status has ended: the server has had count connections, the log shows
  // the reply, and the button is back (it is grey from before the connect until the end).
  auto live_statuses_ended = [&](size_t count) {
    return WaitUntil(
        [&] {
          return server.Connections() == count && program.LogText() == status_log &&
                 program.ReportButtonEnabled();
        },
        10000);
  };

  // Checking the item runs the live status at once.
  PostMessageA(window, WM_SYSCOMMAND, kLiveStatusMenuId, 0);
  ASSERT_TRUE(live_statuses_ended(1)) << "no live status after the menu: " << server.Connections()
                                      << " connections, log \"" << program.LogText() << "\"";
  EXPECT_EQ(server.Requests()[0], "ALIVR\r\n");
  std::string status;
  ASSERT_TRUE(program.ReadFile("alivr.txt", status));
  EXPECT_EQ(status, "Server radi\r\n");

  // 31 ticks of the running timer repeat it. (The timer's own ticks count too, one a second;
  // these come first by far.)
  PostTicks(window, 31);
  ASSERT_TRUE(live_statuses_ended(2))
      << "31 ticks did not repeat the live status: " << server.Connections()
      << " connections, log \"" << program.LogText() << "\"";
  EXPECT_EQ(server.Requests()[1], "ALIVR\r\n");

  // Unchecked, twice as many ticks repeat nothing: ticks that are still on their way when
  // the timer stops count no more than the stopped timer.
  PostMessageA(window, WM_SYSCOMMAND, kLiveStatusMenuId, 0);
  PostTicks(window, 62);
  ASSERT_TRUE(WaitForPostedMessages(program)) << "the window did not get through its messages";
  ASSERT_TRUE(WaitUntil([&] { return program.ReportButtonEnabled(); }, 10000))
      << "an exchange still runs";
  EXPECT_EQ(server.Connections(), 2u) << "the live status went on after the item was unchecked";
  CloseProgram(program);
  EXPECT_EQ(server.Connections(), 2u);
}

TEST_F(MainWindowUi, TheFieldsTakeTypedTextBeyond32767Characters) {
  ProgramUnderTest program("LongFields");
  StartProgram(program);
  const std::string long_text(40000, 'k');
  for (int id : {kEdit1Id, kEdit3Id, kEdit2Id}) {
    SCOPED_TRACE("control " + std::to_string(id));
    HWND field = program.Control(id);
    EXPECT_GE(Query(field, EM_GETLIMITTEXT), 0x7FFFFFFEu);
    // Set text is not held to the limit; typed text is.
    ASSERT_TRUE(SetWindowTextOf(field, long_text));
    PostMessageA(field, EM_SETSEL, long_text.size(), long_text.size());
    for (char typed : {'a', 'b', 'c'}) PostMessageA(field, WM_CHAR, typed, 1);
    ASSERT_TRUE(WaitForPostedMessages(program));
    EXPECT_EQ(WindowText(field), long_text + "abc");
  }
  CloseProgram(program);
}

}  // namespace
}  // namespace vxt::uitest
