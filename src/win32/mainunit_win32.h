// The Win32 main window VXTMain: its window procedure, its controls, and the view that the
// portable window logic (TVXTMain) drives.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ScopedGdi.h"
#include "WindowLayout.h"
#include "app/FailureTexts.h"
#include "app/mainunit.h"

namespace vxt::win32 {

class TVXTMainWindow final : public MainWindowView {
 public:
  explicit TVXTMainWindow(HINSTANCE instance);
  ~TVXTMainWindow() override;
  TVXTMainWindow(const TVXTMainWindow&) = delete;
  TVXTMainWindow& operator=(const TVXTMainWindow&) = delete;

  // Registers the class and creates the window, its controls and its logic (FormCreate), all
  // still hidden. False when the creation failed; failure() then tells why.
  bool Create();
  const StartupFailure& failure() const { return failure_; }

  // FormShow (a failure is shown before the window appears), then shows the window.
  void Show(int show_command);

  HWND Handle() const { return hwnd_; }
  // True for messages that the dialog manager handled (Tab between the controls).
  bool PreTranslate(MSG& msg);

  // The view, by control: the request's fields Edit1, Edit3, Edit2, d1 and d2; the log Memo1,
  // the bar pb and the report button BitBtn1; Timer1, the show timer and the system menu's
  // item; the shell, the message queue and the window's end.
  std::string ServerText() override;
  void SetServerText(const std::string& text) override;
  std::string CustomerText() override;
  void SetCustomerText(const std::string& text) override;
  std::string PinText() override;
  void SetPinText(const std::string& text) override;
  TDate FirstDay() override;
  void SetFirstDay(const TDate& date) override;
  TDate LastDay() override;
  void SetLastDay(const TDate& date) override;
  void ClearLog() override;
  void AppendLog(const std::string& entry, bool drawn) override;
  void DrawLog() override;
  void SetProgressMax(int32_t value) override;
  void SetProgressPosition(int32_t value) override;
  void SetReportButtonEnabled(bool enabled) override;
  void SetTimerEnabled(bool enabled) override;
  void StartShowTimer(int delay_ms) override;
  void StopShowTimer() override;
  void SetLiveStatusChecked(bool checked) override;
  bool ShellOpen(const TPath& path) override;
  void PumpMessages(bool all_pending) override;
  bool MessagesPending() override;
  void Destroy() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool OnCreate();
  void OnCommand(int id, int code);
  void OnTimer(WPARAM id);
  void OnSysCommand(WPARAM command);
  void OnActivate(WPARAM state);
  void OnClose();
  void OnDestroy();
  // The controls with their initial contents, and the system menu's item.
  void CreateControlsAndMenu();
  // Runs a handler of the logic; a failure it raises goes to the default failure display.
  void Guarded(void (TVXTMain::*handler)());
  // Draws the bar at the position last set and starts a new frame.
  void DrawBar();
  // Shows the settings store's lines in the list vl, a name and a value a row.
  void ShowStoreInList();

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  // The controls draw with it: it must outlive them (members end after the destructor's
  // DestroyWindow).
  ScopedFont font_;
  int dpi_ = 96;
  TVXTMainControls controls_;
  HWND focus_before_deactivation_ = nullptr;
  std::unique_ptr<TVXTMain> logic_;
  StartupFailure failure_;
  // The bar is drawn at the display's pace: a transfer moves it after every block, and the bar
  // redraws itself within each move (about a millisecond under Wine, more than the block's own
  // work). So a move is drawn at once only when the last drawing is a frame old; otherwise the
  // newest position waits for the frame's end, when a timer draws it. 0, the end of a
  // transfer, is always drawn at once.
  static constexpr std::chrono::milliseconds kBarFrame{16};
  int32_t bar_position_ = 0;  // the newest position, drawn or waiting for the frame's end
  bool bar_waits_ = false;
  std::chrono::steady_clock::time_point bar_drawn_at_{};
};

}  // namespace vxt::win32
