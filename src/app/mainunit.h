// The main window's logic: its state, its members and all its handlers, written against the
// small interface of what they need from the real window (MainWindowView). The Win32 front end
// implements the view and forwards its messages to the handlers; tests use a fake view.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/Settings.h"
#include "connection/IdAntiFreeze.h"
#include "connection/TCPClient.h"
#include "report/ReportExchange.h"
#include "report/ReportHost.h"

namespace vxt {

inline constexpr const char kApplicationTitle[] = "BRAXO Tarnwell podaci Uzivo";
inline constexpr const char kWindowCaption[] = "BRAXO Tarnwell podaci uzivo";
// The bar's maximum for a transfer that announces no total; it doubles as the marker of that
// mode.
inline constexpr int32_t kUnknownTotalMax = 150000;

// The fields' contents until the settings file names others: the server host (Edit1), the
// customer number (Edit3) and the PIN (Edit2). Host and PIN are chosen by the build.
const char* DefaultServerHost();
const char* DefaultCustomer();
const char* DefaultPin();

// What the window logic needs of the real window. It keeps no state of the logic's: it shows
// what it is told, and its timers and queue deliver their messages to the handlers.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  // The request's fields: Edit1, Edit3, Edit2, and d1 and d2 (date part; setting one leaves
  // its time of day unchanged).
  virtual std::string ServerText() = 0;
  virtual void SetServerText(const std::string& text) = 0;
  virtual std::string CustomerText() = 0;
  virtual void SetCustomerText(const std::string& text) = 0;
  virtual std::string PinText() = 0;
  virtual void SetPinText(const std::string& text) = 0;
  virtual TDate FirstDay() = 0;
  virtual void SetFirstDay(const TDate& date) = 0;
  virtual TDate LastDay() = 0;
  virtual void SetLastDay(const TDate& date) = 0;
  // The log Memo1. An entry is added at the end of the text followed by CR LF, and the log
  // scrolls to it; it is drawn at the next pump step, or, when drawn is false, only by the
  // next DrawLog, which draws the whole log before it returns.
  virtual void ClearLog() = 0;
  virtual void AppendLog(const std::string& entry, bool drawn) = 0;
  virtual void DrawLog() = 0;
  virtual void SetProgressMax(int32_t value) = 0;  // pb
  virtual void SetProgressPosition(int32_t value) = 0;
  virtual void SetReportButtonEnabled(bool enabled) = 0;  // BitBtn1
  // Timer1 (interval 1000 ms): its ticks reach TVXTMain::Timer1Timer.
  virtual void SetTimerEnabled(bool enabled) = 0;
  // A one-shot timer: its tick reaches TVXTMain::ShowTimerTimer once, delay_ms after the start,
  // as a message of the window's queue, so a wait that looks for pending messages sees it like
  // any other.
  virtual void StartShowTimer(int delay_ms) = 0;
  virtual void StopShowTimer() = 0;
  virtual void SetLiveStatusChecked(bool checked) = 0;  // system menu item
  // Asks the shell to open path (see ReportHost::ShellOpen).
  virtual bool ShellOpen(const TPath& path) = 0;
  // Processes pending window messages: all (until none is pending) or at most one.
  virtual void PumpMessages(bool all_pending) = 0;
  // Tells, without processing any, whether window messages wait (input, a close request, a
  // repaint, a timer's tick). While a silent server keeps the client waiting, the wait looks at
  // this every 100 ms and pumps when it is true, so the window answers, can be closed, and
  // shows the exchange when the show timer ticks. Without an override the waits pump only at
  // their fixed points.
  virtual bool MessagesPending() { return false; }
  // Destroys the window, which ends the program.
  virtual void Destroy() = 0;
};

// The window logic is also the report exchange's host: the exchange's lines, pump steps and
// shell open pass through the one owner of the exchange's life and display.
class TVXTMain : private ReportHost {
 public:
  // Creates the members (TCPClient: port 8026, ConnectTimeout 5000, ReadTimeout 45000, IPv4;
  // IdAntiFreeze with its pump and pending-check hooks on the view) and binds the connection's
  // notifications to the TCPClientWork* handlers. May raise the network layer's load failures.
  explicit TVXTMain(MainWindowView& view);
  ~TVXTMain() override;

  // Handlers. They catch nothing: the front end shows what they raise by the default
  // failure display. Every handler may run nested in a pump step of a running exchange.
  void FormCreate();
  void FormShow();   // the period := current month, then the settings are loaded
  void FormClose();  // saves the settings (atomically)
  // The window's close, after FormClose: stops the live status and destroys the window; while
  // an exchange runs (the close came from one of its pump steps), that pump step ends the
  // exchange at once, and the window is destroyed when the exchange has returned.
  void Close();
  void BitBtn1Click();
  // Counts Timer1's ticks while the live status is on (a tick of the stopped timer still on
  // its way counts no more than the stopped timer); every 31st runs the live-status request.
  void Timer1Timer();
  // The show timer's tick while an exchange runs: it has run long enough to be shown, so the
  // report button greys and the log's held lines are drawn.
  void ShowTimerTimer();
  // Starts or stops the live-status repetition, at any moment. Starting checks the menu item,
  // enables the timer and runs the live-status request at once, or, while another exchange
  // runs, as soon as that one has returned; stopping disables the timer, unchecks the item,
  // drops a run still waiting and restarts the tick count.
  void LiveStatusMenuClick();
  void TCPClientWorkBegin(TTCPClient& sender, TWorkMode mode, int32_t work_count_max);
  void TCPClientWork(TTCPClient& sender, TWorkMode mode, int32_t work_count);
  void TCPClientWorkEnd(TTCPClient& sender, TWorkMode mode);

  bool ExchangeRunning() const { return phase_ != Phase::kIdle; }

  // Seams for tests.
  void SetToday(std::function<TDate()> today);
  void SetSettingsPath(const TPath& path);
  void SetResponseFolder(const TPath& folder);
  // The settings file's path: the seam's when set, else beside the executable.
  TPath SettingsPath() const;

  TIdAntiFreeze IdAntiFreeze;
  TTCPClient TCPClient;
  TValueList vl;  // the settings store

 private:
  // The exchange's life and display, kept here alone. Held: an exchange runs and is not shown
  // yet; its log lines are appended undrawn, so that one that ends before the show timer's
  // tick draws its log once. Shown: the report button is grey and lines are drawn as they
  // come. Closing: the window closed during the exchange, which ends at its next pump step;
  // the window goes when it has returned.
  enum class Phase { kIdle, kHeld, kShown, kClosing };

  using Run = void (ReportExchange::*)();
  // Runs run (a report, or nothing) and then every live-status request that is due, each with
  // its display: held, shown by the show timer's tick, and at its end the timer stopped, the
  // button back and the held lines drawn. The one place that starts exchanges, and so the one
  // that asks whether one runs: a handler nested in a running exchange starts none, and a
  // live status asked for then follows that one.
  void RunExchanges(Run run);
  Run NextDueExchange();
  void EndShown();
  // The window that closed during the exchanges goes now that they have returned.
  void DestroyIfClosing();
  void RunLiveStatus();
  void StopLiveStatus();
  // The one pump of the window that the exchanges and the connection run; after a pump step
  // that closed the window it ends the exchange by raising WindowClosed.
  void Pump(bool all_pending);
  void DrawHeldLog();

  // ReportHost: the fields are the view's; the log and the pump go through the display above.
  std::string ServerText() override { return view_.ServerText(); }
  std::string CustomerText() override { return view_.CustomerText(); }
  std::string PinText() override { return view_.PinText(); }
  TDate FirstDay() override { return view_.FirstDay(); }
  TDate LastDay() override { return view_.LastDay(); }
  void ClearLog() override { view_.ClearLog(); }
  void AppendLog(const std::string& entry) override;
  void ProcessMessages() override { Pump(true); }
  bool ShellOpen(const TPath& path) override;

  MainWindowView& view_;
  ReportExchange exchange_;
  std::function<TDate()> today_;
  TPath settings_path_;
  Phase phase_ = Phase::kIdle;
  bool log_undrawn_ = false;  // lines appended while held
  // The bar's maximum as last set: at the unknown-total maximum a transfer's position wraps.
  int32_t progress_max_ = 0;
  int32_t tick_counter_ = 0;
  bool live_status_on_ = false;   // Timer1 runs exactly while the live status is on
  bool live_status_due_ = false;  // asked for while another exchange held the connection
};

}  // namespace vxt
