#include "connection/TCPClient.h"

#include <exception>

#include "connection/IOHandler.h"
#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"

namespace vxt {

namespace {

// Notifications pass counts as 32-bit signed integers; a value outside that range is a
// range check failure, as the conversion of the original integer type was.
int32_t NotificationArgument(int64_t value) {
  if (value > INT32_MAX || value < INT32_MIN) throw ERangeError(kRangeCheckError);
  return static_cast<int32_t>(value);
}

struct WorkRecord {
  int level = 0;
  int64_t count = 0;
  int64_t total = 0;
};

}  // namespace

struct TTCPClient::State {
  NetworkLayerUse network_use;
  // Before the handler, which reads it until its end.
  TConnectionSettings settings;
  std::unique_ptr<TIOHandler> io_handler;
  WorkRecord work[2];
};

TTCPClient::TTCPClient() : state_(std::make_unique<State>()) {}

TTCPClient::~TTCPClient() = default;

// The handler reads the settings from here, so a change reaches an open connection at once
// (a new ReadTimeout applies to the next wait) and never reconnects.
const std::string& TTCPClient::Host() const {
  return state_->settings.host;
}

void TTCPClient::SetHost(const std::string& value) {
  state_->settings.host = value;
}

int TTCPClient::Port() const {
  return state_->settings.port;
}

void TTCPClient::SetPort(int value) {
  state_->settings.port = value;
}

int TTCPClient::ConnectTimeout() const {
  return state_->settings.connect_timeout;
}

void TTCPClient::SetConnectTimeout(int value) {
  state_->settings.connect_timeout = value;
}

int TTCPClient::ReadTimeout() const {
  return state_->settings.read_timeout;
}

void TTCPClient::SetReadTimeout(int value) {
  state_->settings.read_timeout = value;
}

TIPVersion TTCPClient::IPVersion() const {
  return state_->settings.ip_version;
}

void TTCPClient::SetIPVersion(TIPVersion value) {
  state_->settings.ip_version = value;
}

TIOHandler* TTCPClient::IOHandler() const {
  return state_->io_handler.get();
}

bool TTCPClient::IsConnected() {
  return state_->io_handler ? state_->io_handler->Connected() : false;
}

void TTCPClient::OpenConnection() {
  const TConnectionSettings& settings = state_->settings;
  if (IsConnected()) throw EIdAlreadyConnected(kAlreadyConnected);
  if (settings.host.empty()) throw EIdHostRequired("");
  if (settings.port == 0) throw EIdPortRequired("");
  if (!state_->io_handler) {
    state_->io_handler = std::make_unique<TIOHandler>(settings);
    state_->io_handler->SetOwner(this);
  }
  TIOHandler& io = *state_->io_handler;
  try {
    io.Open();
    // A negative port passes the test above but is never connected to: the handler is then
    // open without a socket, and the connection reports itself not connected.
    if (settings.port > 0) io.ConnectClient();
  } catch (...) {
    io.Close();
    // The handler is always the connection's own here, so a failed open releases it.
    state_->io_handler.reset();
    throw;
  }
}

void TTCPClient::CloseConnection() {
  TIOHandler* io = state_->io_handler.get();
  std::exception_ptr poll_failure;
  try {
    IsConnected();
  } catch (...) {
    poll_failure = std::current_exception();
  }
  if (io != nullptr) {
    if (io->Opened()) io->Close();
    TInputBuffer* unread = io->InputBuffer();
    if (unread != nullptr && !unread->Empty()) unread->Extract(unread->Size());
  }
  if (poll_failure) std::rethrow_exception(poll_failure);
}

TIOHandler& TTCPClient::OpenedHandler() const {
  if (!state_->io_handler) throw EIdException(kNotConnected);
  return *state_->io_handler;
}

void TTCPClient::SetRecvBufferSize(int value) {
  OpenedHandler().SetRecvBufferSize(value);
}

void TTCPClient::SendLine(const std::string& text) {
  OpenedHandler().SendLine(text);
}

void TTCPClient::ReceiveUntilClosed(TStream& sink) {
  OpenedHandler().ReceiveUntilClosed(sink);
}

void TTCPClient::BeginWork(TWorkMode mode, int64_t total) {
  WorkRecord& record = state_->work[mode];
  ++record.level;
  if (record.level == 1) {
    record.total = total;
    record.count = 0;
    if (OnWorkBegin) OnWorkBegin(*this, mode, NotificationArgument(total));
  }
}

void TTCPClient::DoWork(TWorkMode mode, int64_t count) {
  WorkRecord& record = state_->work[mode];
  if (record.level < 1) return;
  record.count += count;
  if (OnWork) OnWork(*this, mode, NotificationArgument(record.count));
}

void TTCPClient::EndWork(TWorkMode mode) {
  WorkRecord& record = state_->work[mode];
  // The window's handler logs a line and resets its bar; it does not fail.
  if (record.level == 1 && OnWorkEnd) OnWorkEnd(*this, mode);
  --record.level;
}

}  // namespace vxt
