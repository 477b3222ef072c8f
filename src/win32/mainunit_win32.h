// The Win32 main window VXTMain: its controls, its window procedure, and the view that the
// portable window logic (TVXTMain) drives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/FailureTexts.h"
#include "app/mainunit.h"

namespace vxt::win32 {

// Shows the start-up failure box (task-modal, error icon, caption "Application Error").
void ShowStartupFailure(const StartupFailure& failure);

// The default failure display: a modal box with an error icon and OK, captioned with the
// application title, whose text is the failure's message with the final "." rule applied.
void ShowDefaultFailure(HWND owner, const std::string& message);

// Scales a length designed at 96 pixels per inch to dpi.
int ScaleToDpi(int value, int dpi);

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

  // ReportHost
  std::string ServerText() override;
  std::string CustomerText() override;
  std::string PinText() override;
  TDate FirstDay() override;
  TDate LastDay() override;
  void ClearLog() override;
  void AppendLog(const std::string& entry) override;
  void ProcessMessages() override;
  bool ShellOpen(const std::string& path) override;

  // MainWindowView
  void SetServerText(const std::string& text) override;
  void SetCustomerText(const std::string& text) override;
  void SetPinText(const std::string& text) override;
  void SetFirstDay(const TDate& date) override;
  void SetLastDay(const TDate& date) override;
  int32_t ProgressMax() override;
  void SetProgressMax(int32_t value) override;
  void SetProgressPosition(int32_t value) override;
  void SetReportButtonEnabled(bool enabled) override;
  void SetTimerEnabled(bool enabled) override;
  void SetLiveStatusChecked(bool checked) override;
  void PumpMessages(bool all_pending) override;
  bool MessagesPending() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool OnCreate();
  void CreateControls();
  void OnCommand(int id, int code);
  void OnClose();
  void OnSysCommand(WPARAM command);
  // Runs a handler of the logic; a failure it raises goes to the default failure display.
  template <typename Handler>
  void Guarded(Handler&& handler);
  // Ends the window once no exchange runs any more (a close requested during one waits).
  void FinishPendingClose();
  void ShowStoreInList();

  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
  std::string ControlText(int id) const;
  void SetControlText(int id, const std::string& text);
  TDate PickerDate(int id) const;
  void SetPickerDate(int id, const TDate& date);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  HWND focus_before_deactivation_ = nullptr;
  std::unique_ptr<TVXTMain> logic_;
  StartupFailure failure_;
  bool timer_enabled_ = false;
  bool close_pending_ = false;
  bool destroying_ = false;
};

// The program's one main window.
extern TVXTMainWindow* VXTMain;

}  // namespace vxt::win32
