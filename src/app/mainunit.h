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
#include "report/ReportHost.h"

namespace vxt {

class ReportExchange;

inline constexpr const char kApplicationTitle[] = "BRAXO Tarnwell podaci Uzivo";
inline constexpr const char kWindowCaption[] = "BRAXO Tarnwell podaci uzivo";
inline constexpr const char kSettingsFileName[] = "VXTVannikorde.ini";
inline constexpr const char kWorkBeginText[] =
    "Pocetak prijema podataka...sacekajte kraj prenosa...";
inline constexpr const char kWorkEndText[] = "Prijem podataka zavrsen";
inline constexpr int32_t kUnknownTotalMax = 150000;
// Timer1 ticks counted before the live-status request runs again (at the next one).
inline constexpr int32_t kTickLimit = 30;
inline constexpr int kServerPort = 8026;
inline constexpr int kConnectTimeoutMs = 5000;
inline constexpr int kReadTimeoutMs = 45000;
// How long an exchange runs before the window shows it (the report button greys, and the lines
// it logs are drawn as they come): two frames of a 60 Hz display. A shorter one ends before
// that could have been seen, and greying and restoring a themed button, or drawing the log once
// per line, costs more under Wine than a short exchange's own work.
inline constexpr int kShowExchangeAfterMs = 33;

// The settings' names, in the order in which the file holds them.
inline constexpr const char kCustomerName[] = "KUPAC_ID";  // Edit3
inline constexpr const char kPinName[] = "KUPAC_PIN";      // Edit2
inline constexpr const char kServerName[] = "VXTSERVER";   // Edit1

// The fields' contents until the settings file names others: the server host (Edit1), the
// customer number (Edit3) and the PIN (Edit2). Host and PIN are chosen by the build.
const char* DefaultServerHost();
const char* DefaultCustomer();
const char* DefaultPin();

class MainWindowView : public ReportHost {
 public:
  virtual void SetServerText(const std::string& text) = 0;    // Edit1
  virtual void SetCustomerText(const std::string& text) = 0;  // Edit3
  virtual void SetPinText(const std::string& text) = 0;       // Edit2
  virtual void SetFirstDay(const TDate& date) = 0;            // d1 (time of day unchanged)
  virtual void SetLastDay(const TDate& date) = 0;             // d2
  virtual int32_t ProgressMax() = 0;                          // pb
  virtual void SetProgressMax(int32_t value) = 0;
  virtual void SetProgressPosition(int32_t value) = 0;
  virtual void SetReportButtonEnabled(bool enabled) = 0;  // BitBtn1
  // While held, entries appended to the log (Memo1) are in it at once but drawn only when the
  // hold ends, all in one repaint.
  virtual void HoldLogDrawing(bool hold) = 0;
  virtual void SetTimerEnabled(bool enabled) = 0;  // Timer1 (interval 1000 ms)
  // A one-shot timer: its tick reaches TVXTMain::ShowTimerTimer once, delay_ms after the start,
  // as a message of the window's queue, so a wait that looks for pending messages sees it like
  // any other. Stopping it drops a tick not yet handled.
  virtual void StartShowTimer(int delay_ms) = 0;
  virtual void StopShowTimer() = 0;
  virtual void SetLiveStatusChecked(bool checked) = 0;  // system menu item
  // Processes pending window messages: all (until none is pending) or at most one.
  virtual void PumpMessages(bool all_pending) = 0;
  // Tells, without processing any, whether window messages wait (input, a close request, a
  // repaint, a timer's tick). While a silent server keeps the client waiting, the wait looks at
  // this every 100 ms and pumps when it is true, so the window answers, can be closed, and
  // shows the exchange when the show timer ticks. Without an override the waits pump only at
  // their fixed points.
  virtual bool MessagesPending() { return false; }
};

class TVXTMain {
 public:
  // Creates the members (TCPClient: port 8026, ConnectTimeout 5000, ReadTimeout 45000, IPv4;
  // IdAntiFreeze with its pump and pending-check hooks on the view) and binds the connection's
  // notifications to the TCPClientWork* handlers. May raise the network layer's load failures.
  explicit TVXTMain(MainWindowView& view);
  ~TVXTMain();

  // Handlers. They catch nothing: the front end shows what they raise by the default
  // failure display.
  void FormCreate();
  void FormShow();   // the period := current month, then the settings are loaded
  void FormClose();  // saves the settings (atomically)
  void BitBtn1Click();
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

  // A close request while an exchange runs: ends the exchange promptly; a live status waiting
  // for it does not run.
  void AbortExchange();
  bool ExchangeRunning() const;

  // Seams for tests.
  void SetToday(std::function<TDate()> today);
  void SetSettingsPath(const TPath& path);
  void SetResponseFolder(const TPath& folder);
  int32_t TickCounter() const { return tick_counter_; }
  // The settings file's path: the seam's when set, else beside the executable.
  TPath SettingsPath() const;

  TIdAntiFreeze IdAntiFreeze;
  TTCPClient TCPClient;
  TValueList vl;  // the settings store

 private:
  // Runs one exchange (run: RunReport or RunLiveStatus) with its display: the log's drawing is
  // held and the show timer runs until the exchange ends, also by a failure; the end stops the
  // timer, brings the button back if it went grey and draws the held lines.
  void RunExchange(void (ReportExchange::*run)());
  void EndExchangeDisplay();
  // Ends the hold on the log's drawing, if it is held: its lines are drawn now.
  void DrawHeldLog();

  // Runs the live-status request now, or marks it due while another exchange runs.
  void RunLiveStatus();
  // Runs the live-status request while one is due and no exchange runs.
  void RunDueLiveStatus();

  MainWindowView& view_;
  std::unique_ptr<ReportExchange> exchange_;
  std::function<TDate()> today_;
  // The running exchange's display: the button greyed by the show timer, the log held undrawn.
  bool exchange_shown_ = false;
  bool log_held_ = false;
  TPath settings_path_;
  int32_t tick_counter_ = 0;
  bool live_status_on_ = false;
  bool live_status_due_ = false;  // asked for while another exchange held the connection
};

}  // namespace vxt
