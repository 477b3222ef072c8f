// The main window's handlers. Everything here runs on the window's thread; the exchanges block
// it, and the view's message pumps run other handlers nested inside them, so every handler
// that starts an exchange first looks whether one is running already.
#include "app/mainunit.h"

#include "platform/Files.h"
#include "platform/System.h"
#include "report/ReportExchange.h"

namespace vxt {

namespace {

TDate SystemToday() {
  return LocalToday();
}

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

TVXTMain::TVXTMain(MainWindowView& view) : view_(view), today_(SystemToday) {
  IdAntiFreeze.SetMessagePump([this](bool all_pending) { view_.PumpMessages(all_pending); });
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
  exchange_ = std::make_unique<ReportExchange>(TCPClient, view_);
  // The report's lines are drawn before the shell starts a viewer, even when the exchange was
  // too short to be shown.
  exchange_->OnBeforeShellOpen = [this] { DrawHeldLog(); };
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

void TVXTMain::BitBtn1Click() {
  // A click that the exchange's own message pumping delivers would nest a second exchange on
  // the same connection and response file.
  if (exchange_->Running()) return;
  RunExchange(&ReportExchange::RunReport);
  RunDueLiveStatus();
}

void TVXTMain::Timer1Timer() {
  ++tick_counter_;
  // A live status that had to wait for another exchange and was not run when that one
  // returned (it left by a failure of the window) runs at the next tick.
  if (tick_counter_ > kTickLimit || (live_status_due_ && !exchange_->Running())) {
    tick_counter_ = 0;
    RunLiveStatus();
  }
}

void TVXTMain::LiveStatusMenuClick() {
  if (!live_status_on_) {
    live_status_on_ = true;
    tick_counter_ = 0;
    view_.SetLiveStatusChecked(true);
    // The repetition starts now even when another exchange holds the connection: the timer
    // counts from here, and the request itself follows as soon as that exchange returns.
    view_.SetTimerEnabled(true);
    RunLiveStatus();
  } else {
    live_status_on_ = false;
    live_status_due_ = false;  // also a run still waiting for another exchange
    view_.SetTimerEnabled(false);
    view_.SetLiveStatusChecked(false);
    tick_counter_ = 0;
  }
}

void TVXTMain::RunLiveStatus() {
  live_status_due_ = true;
  // Nested in a running exchange (its message pumping delivered the tick or the menu), the
  // request waits: the handler that started that exchange runs it when the exchange returns.
  if (exchange_->Running()) return;
  RunDueLiveStatus();
}

void TVXTMain::RunDueLiveStatus() {
  // A tick or a menu choice during this run asks for the next one, which then follows at once.
  while (live_status_due_ && !exchange_->Running()) {
    live_status_due_ = false;
    tick_counter_ = 0;
    // The live-status request is what keeps its own timer going. The timer is enabled before
    // the exchange: a stop chosen from the menu while the exchange waits then stays in force.
    view_.SetTimerEnabled(true);
    RunExchange(&ReportExchange::RunLiveStatus);
  }
}

void TVXTMain::RunExchange(void (ReportExchange::*run)()) {
  exchange_shown_ = false;
  log_held_ = true;
  view_.HoldLogDrawing(true);
  view_.StartShowTimer(kShowExchangeAfterMs);
  try {
    (exchange_.get()->*run)();
  } catch (...) {
    EndExchangeDisplay();
    throw;
  }
  EndExchangeDisplay();
}

void TVXTMain::EndExchangeDisplay() {
  view_.StopShowTimer();
  if (exchange_shown_) {
    exchange_shown_ = false;
    view_.SetReportButtonEnabled(true);
  }
  DrawHeldLog();
}

void TVXTMain::ShowTimerTimer() {
  // A tick that was on its way when the exchange ended shows nothing.
  if (!exchange_->Running() || exchange_shown_) return;
  exchange_shown_ = true;
  view_.SetReportButtonEnabled(false);
  DrawHeldLog();
}

void TVXTMain::TCPClientWorkBegin(TTCPClient&, TWorkMode, int32_t work_count_max) {
  view_.AppendLog(kWorkBeginText);
  view_.SetProgressMax(work_count_max > 0 ? work_count_max : kUnknownTotalMax);
}

void TVXTMain::TCPClientWork(TTCPClient&, TWorkMode, int32_t work_count) {
  // The bar's maximum doubles as the mode: at the unknown-total maximum the bar wraps.
  if (view_.ProgressMax() == kUnknownTotalMax) {
    view_.SetProgressPosition(work_count % kUnknownTotalMax);
  } else {
    view_.SetProgressPosition(work_count);
  }
  view_.PumpMessages(true);
}

void TVXTMain::DrawHeldLog() {
  if (!log_held_) return;
  log_held_ = false;
  view_.HoldLogDrawing(false);
}

void TVXTMain::TCPClientWorkEnd(TTCPClient&, TWorkMode) {
  view_.AppendLog(kWorkEndText);
  view_.SetProgressPosition(0);
}

void TVXTMain::AbortExchange() {
  // The window is going: no live status may start when the aborted exchange returns.
  live_status_due_ = false;
  exchange_->Abort();
}

bool TVXTMain::ExchangeRunning() const {
  return exchange_->Running();
}

void TVXTMain::SetToday(std::function<TDate()> today) {
  today_ = today ? std::move(today) : std::function<TDate()>(SystemToday);
}

void TVXTMain::SetSettingsPath(const TPath& path) {
  settings_path_ = path;
}

void TVXTMain::SetResponseFolder(const TPath& folder) {
  exchange_->SetFolder(folder);
}

TPath TVXTMain::SettingsPath() const {
  if (!settings_path_.Empty()) return settings_path_;
  return PathBesideExecutable(ExecutablePath(), kSettingsFileName);
}

}  // namespace vxt
