// The main window's handlers. Everything here runs on the window's thread; the exchanges block
// it, and the view's message pumps run other handlers nested inside them.
#include "app/mainunit.h"

#include <exception>

#include "platform/Files.h"
#include "platform/System.h"

namespace vxt {

namespace {

constexpr const char kSettingsFileName[] = "VXTVannikorde.ini";
constexpr const char kWorkBeginText[] = "Pocetak prijema podataka...sacekajte kraj prenosa...";
constexpr const char kWorkEndText[] = "Prijem podataka zavrsen";
// Timer1 ticks counted before the live-status request runs again (at the next one).
constexpr int32_t kTickLimit = 30;
constexpr int kServerPort = 8026;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kReadTimeoutMs = 45000;
// How long an exchange runs before the window shows it (the report button greys, and the lines
// it logs are drawn as they come): two frames of a 60 Hz display. A shorter one ends before
// that could have been seen, and greying and restoring a themed button, or drawing the log once
// per line, costs more under Wine than a short exchange's own work.
constexpr int kShowExchangeAfterMs = 33;

// The settings' names, in the order in which the file holds them.
constexpr const char kCustomerName[] = "KUPAC_ID";  // Edit3
constexpr const char kPinName[] = "KUPAC_PIN";      // Edit2
constexpr const char kServerName[] = "VXTSERVER";   // Edit1

TDate SystemToday() {
  return LocalToday();
}

// Ends a running exchange from the pump step in which the window closed. A std::exception, so
// that every layer on the way cleans up as after any failure (what arrived goes to the file,
// the connection closes); the failure line it leaves is in a window that is already hidden.
class WindowClosed : public std::exception {
 public:
  const char* what() const noexcept override { return "The window closed."; }
};

}  // namespace

const char* DefaultServerHost() {
  return VXT_DEFAULT_SERVER;
}
const char* DefaultCustomer() {
  return "2";
}
const char* DefaultPin() {
  return VXT_DEFAULT_PIN;
}

TVXTMain::TVXTMain(MainWindowView& view)
    : view_(view), exchange_(TCPClient, *this), today_(SystemToday) {
  IdAntiFreeze.SetMessagePump([this](bool all_pending) { Pump(all_pending); });
  IdAntiFreeze.SetPendingCheck([this] { return view_.MessagesPending(); });
  TCPClient.SetPort(kServerPort);
  TCPClient.SetConnectTimeout(kConnectTimeoutMs);
  TCPClient.SetReadTimeout(kReadTimeoutMs);
  TCPClient.SetIPVersion(TIPVersion::Id_IPv4);
  TCPClient.OnWorkBegin = [this](TTCPClient& sender, TWorkMode mode, int32_t total) {
    TCPClientWorkBegin(sender, mode, total);
  };
  TCPClient.OnWork = [this](TTCPClient& sender, TWorkMode mode, int32_t count) {
    TCPClientWork(sender, mode, count);
  };
  TCPClient.OnWorkEnd = [this](TTCPClient& sender, TWorkMode mode) {
    TCPClientWorkEnd(sender, mode);
  };
}

TVXTMain::~TVXTMain() {
  // The notifications must not reach a half-destroyed window while the connection closes.
  TCPClient.OnWorkBegin = nullptr;
  TCPClient.OnWork = nullptr;
  TCPClient.OnWorkEnd = nullptr;
  IdAntiFreeze.SetMessagePump(nullptr);
  IdAntiFreeze.SetPendingCheck(nullptr);
}

void TVXTMain::FormCreate() {
  tick_counter_ = 0;
}

void TVXTMain::FormShow() {
  TDate first = today_();
  first.day = 1;
  view_.SetFirstDay(first);
  // Read again: across midnight the two reads may fall into different months, and each
  // picker follows its own read.
  TDate last = today_();
  last.day = DaysInMonth(last.year, last.month);
  view_.SetLastDay(last);

  if (!vl.LoadSaved(SettingsPath())) return;
  // A name that the file lacks empties its field: the file, not the default, decides.
  view_.SetCustomerText(vl.Value(kCustomerName));
  view_.SetPinText(vl.Value(kPinName));
  view_.SetServerText(vl.Value(kServerName));
}

void TVXTMain::FormClose() {
  vl.Clear();
  vl.AppendEntry(kCustomerName, view_.CustomerText());
  vl.AppendEntry(kPinName, view_.PinText());
  vl.AppendEntry(kServerName, view_.ServerText());
  vl.SaveToFile(SettingsPath());
}

void TVXTMain::Close() {
  StopLiveStatus();
  if (phase_ == Phase::kIdle) {
    view_.Destroy();
    return;
  }
  phase_ = Phase::kClosing;
}

void TVXTMain::BitBtn1Click() {
  RunExchanges(&ReportExchange::RunReport);
}

void TVXTMain::Timer1Timer() {
  if (!live_status_on_) return;
  ++tick_counter_;
  // A live status that had to wait for another exchange and was not run when that one
  // returned (it left by a failure of the window) runs at the next tick.
  if (tick_counter_ > kTickLimit || live_status_due_) {
    tick_counter_ = 0;
    RunLiveStatus();
  }
}

void TVXTMain::LiveStatusMenuClick() {
  if (live_status_on_) {
    StopLiveStatus();
    return;
  }
  live_status_on_ = true;
  tick_counter_ = 0;
  view_.SetLiveStatusChecked(true);
  // The repetition starts now even when another exchange holds the connection: the timer
  // counts from here, and the request itself follows as soon as that exchange returns.
  view_.SetTimerEnabled(true);
  RunLiveStatus();
}

void TVXTMain::StopLiveStatus() {
  live_status_due_ = false;  // also a run still waiting for another exchange
  tick_counter_ = 0;
  if (!live_status_on_) return;
  live_status_on_ = false;
  view_.SetTimerEnabled(false);
  view_.SetLiveStatusChecked(false);
}

void TVXTMain::RunLiveStatus() {
  live_status_due_ = true;
  RunExchanges(nullptr);
}

void TVXTMain::RunExchanges(void (ReportExchange::*run)()) {
  // A handler run by a pump step of a running exchange would start a second exchange on the
  // same connection and response file.
  if (phase_ != Phase::kIdle) return;
  try {
    // A tick or a menu choice during a run asks for a live status, which then follows at once.
    for (run = run != nullptr ? run : NextDueExchange(); run != nullptr; run = NextDueExchange()) {
      phase_ = Phase::kHeld;
      view_.StartShowTimer(kShowExchangeAfterMs);
      (exchange_.*run)();
      EndShown();
    }
  } catch (const WindowClosed&) {
    // The pump step in which the window closed ended the exchange.
    EndShown();
  } catch (...) {
    EndShown();
    DestroyIfClosing();
    throw;
  }
  DestroyIfClosing();
}

TVXTMain::Run TVXTMain::NextDueExchange() {
  if (!live_status_due_ || phase_ != Phase::kIdle) return nullptr;
  live_status_due_ = false;
  tick_counter_ = 0;
  return &ReportExchange::RunLiveStatus;
}

void TVXTMain::DestroyIfClosing() {
  if (phase_ != Phase::kClosing) return;
  phase_ = Phase::kIdle;
  view_.Destroy();
}

// The end of an exchange's display, also by a failure: the show timer stopped, the button
// back, the held lines drawn.
void TVXTMain::EndShown() {
  if (phase_ == Phase::kHeld) view_.StopShowTimer();
  if (phase_ == Phase::kShown) view_.SetReportButtonEnabled(true);
  DrawHeldLog();
  // A closing window keeps its phase: it goes once the exchanges have returned.
  if (phase_ != Phase::kClosing) phase_ = Phase::kIdle;
}

void TVXTMain::ShowTimerTimer() {
  // A tick that was on its way when the exchange ended, or the window closed, shows nothing.
  if (phase_ != Phase::kHeld) return;
  phase_ = Phase::kShown;
  view_.SetReportButtonEnabled(false);
  DrawHeldLog();
}

void TVXTMain::Pump(bool all_pending) {
  view_.PumpMessages(all_pending);
  if (phase_ == Phase::kClosing) throw WindowClosed();
}

void TVXTMain::AppendLog(const std::string& entry) {
  const bool held = phase_ == Phase::kHeld;
  view_.AppendLog(entry, !held);
  log_undrawn_ = log_undrawn_ || held;
}

void TVXTMain::DrawHeldLog() {
  if (!log_undrawn_) return;
  log_undrawn_ = false;
  view_.DrawLog();
}

bool TVXTMain::ShellOpen(const TPath& path) {
  // The report's lines are drawn before a viewer starts, even when the exchange was too short
  // to be shown.
  DrawHeldLog();
  return view_.ShellOpen(path);
}

void TVXTMain::TCPClientWorkBegin(TTCPClient&, TWorkMode, int32_t work_count_max) {
  AppendLog(kWorkBeginText);
  progress_max_ = work_count_max > 0 ? work_count_max : kUnknownTotalMax;
  view_.SetProgressMax(progress_max_);
}

void TVXTMain::TCPClientWork(TTCPClient&, TWorkMode, int32_t work_count) {
  // The bar's maximum doubles as the mode: at the unknown-total maximum the bar wraps.
  view_.SetProgressPosition(progress_max_ == kUnknownTotalMax ? work_count % kUnknownTotalMax
                                                              : work_count);
  Pump(true);
}

void TVXTMain::TCPClientWorkEnd(TTCPClient&, TWorkMode) {
  AppendLog(kWorkEndText);
  view_.SetProgressPosition(0);
}

void TVXTMain::SetToday(std::function<TDate()> today) {
  today_ = today ? std::move(today) : std::function<TDate()>(SystemToday);
}

void TVXTMain::SetSettingsPath(const TPath& path) {
  settings_path_ = path;
}

void TVXTMain::SetResponseFolder(const TPath& folder) {
  exchange_.SetFolder(folder);
}

TPath TVXTMain::SettingsPath() const {
  if (!settings_path_.Empty()) return settings_path_;
  return PathBesideExecutable(ExecutablePath(), kSettingsFileName);
}

}  // namespace vxt
