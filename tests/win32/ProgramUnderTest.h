// Runs VXTVannikorde.exe as the user would, from outside: a copy of the program in a folder of
// its own (so its settings file and response file are the case's alone), its window found by
// class, its controls driven by window messages, its message boxes found and read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vxt::uitest {

// A path of the build machine as this Wine sees it (the machine's root is drive Z:).
std::string WinePathOf(const std::string& build_path);

// Whether predicate came true within timeout_ms (testing::WaitFor, looking every 20 ms).
bool WaitUntil(const std::function<bool()>& predicate, int timeout_ms);

// The text of a window of another process by WM_GETTEXT (edit controls keep their own text).
std::string WindowText(HWND hwnd);
bool SetWindowTextOf(HWND hwnd, const std::string& text);
std::string ClassNameOf(HWND hwnd);

// What a message box shows: its caption and its message text.
struct MessageBoxContent {
  HWND box = nullptr;
  std::string caption;
  std::string text;
};

class ProgramUnderTest {
 public:
  // A fresh folder named after the case (UTF-8: the name may hold letters that the ANSI code
  // page lacks), with a copy of the program in it under program_name.
  explicit ProgramUnderTest(const std::string& case_name,
                            const std::string& program_name = "VXTVannikorde.exe");
  // Another copy of first's program, run from first's folder: the two share their files.
  struct SecondCopy {};
  ProgramUnderTest(SecondCopy, const ProgramUnderTest& first);
  // Ends the program if it still runs.
  ~ProgramUnderTest();
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  // A file of the folder as the system holds its path, and as the ANSI code page shows it (the
  // program's messages show paths so).
  std::wstring WidePathOf(const std::string& file_name) const;
  std::string PathOf(const std::string& file_name) const;
  void WriteFile(const std::string& file_name, const std::string& bytes) const;
  // Copies the file at source into the program's folder as file_name.
  bool CopyIn(const std::string& source, const std::string& file_name) const;
  // The file's bytes; false when it cannot be read.
  bool ReadFile(const std::string& file_name, std::string& bytes) const;
  bool FileExists(const std::string& file_name) const;
  // The names of the files in the folder (UTF-8), sorted.
  std::vector<std::string> FileNames() const;

  // Starts the program (working directory: the test's, not the program folder). extra_env,
  // "NAME=value", is added to the inherited environment.
  bool Start(const std::string& extra_env = std::string());
  DWORD ProcessId() const { return process_info_.dwProcessId; }
  DWORD ThreadId() const { return process_info_.dwThreadId; }

  // The main window (class TVXTMain) of the program, waiting for it to exist (and, when
  // visible is true, to be visible).
  HWND WaitForMainWindow(bool visible, int timeout_ms = 20000);
  HWND MainWindow() const { return main_window_; }
  HWND Control(int id) const { return GetDlgItem(main_window_, id); }

  // A message box (#32770) of the program; nullptr on time-out.
  MessageBoxContent WaitForMessageBox(int timeout_ms = 20000);
  // Presses the box's OK button.
  static void PressOk(HWND box);

  // Clicks the report button and waits until the log reads expected_log (or one of the
  // expected logs) with the button enabled. A short exchange ends before the button greys, so
  // that an enabled button says nothing of its end, and a log read meanwhile may hold a part of
  // its outcome: only the whole outcome ends the wait. The log's text afterwards.
  std::string RunReportExpecting(const std::string& expected_log, int timeout_ms = 20000);
  std::string RunReportExpectingOneOf(const std::vector<std::string>& expected_logs,
                                      int timeout_ms = 20000);
  std::string LogText() const;
  bool ReportButtonEnabled() const;

  // The focused control of the program's window thread.
  HWND FocusedControl() const;
  // Sends one press of the Tab key to the focused control, as the keyboard would queue it.
  void PressTab() const;
  // Gives the focus to a control of the program (the keyboard's focus is per thread).
  bool FocusControl(HWND control) const;

  // Reads a SYSTEMTIME that a control writes through a pointer (DTM_GETSYSTEMTIME), by a
  // buffer in the program's memory. False when that failed.
  bool ReadControlTime(HWND control, SYSTEMTIME& time) const;

  // Waits for the program to end; false on time-out.
  bool WaitForExit(int timeout_ms, DWORD* exit_code = nullptr);
  bool Running() const;

 private:
  std::wstring folder_;
  std::string program_name_;
  PROCESS_INFORMATION process_info_{};
  HWND main_window_ = nullptr;
};

}  // namespace vxt::uitest
