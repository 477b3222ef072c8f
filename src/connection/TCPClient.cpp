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
  std::string host;
  int port = 0;
  int connect_timeout = 0;
  int read_timeout = -1;
  TIPVersion ip_version = TIPVersion::Id_IPv4;
  std::unique_ptr<TIOHandler> io_handler;
  WorkRecord work[2];
};

TTCPClient::TTCPClient() : state_(std::make_unique<State>()) {}

TTCPClient::~TTCPClient() = default;

const std::string& TTCPClient::Host() const {
  return state_->host;
}

void TTCPClient::SetHost(const std::string& value) {
  state_->host = value;
  if (state_->io_handler) state_->io_handler->SetHost(value);
}

int TTCPClient::Port() const {
  return state_->port;
}

void TTCPClient::SetPort(int value) {
  state_->port = value;
  if (state_->io_handler) state_->io_handler->SetPort(value);
}

int TTCPClient::ConnectTimeout() const {
  return state_->connect_timeout;
}

void TTCPClient::SetConnectTimeout(int value) {
  state_->connect_timeout = value;
  if (state_->io_handler) state_->io_handler->SetConnectTimeout(value);
}

int TTCPClient::ReadTimeout() const {
  return state_->read_timeout;
}

void TTCPClient::SetReadTimeout(int value) {
  state_->read_timeout = value;
  if (state_->io_handler) state_->io_handler->SetReadTimeout(value);
}

TIPVersion TTCPClient::IPVersion() const {
  return state_->ip_version;
}

void TTCPClient::SetIPVersion(TIPVersion value) {
  state_->ip_version = value;
}

TIOHandler* TTCPClient::IOHandler() const {
  return state_->io_handler.get();
}

bool TTCPClient::IsConnected() {
  return state_->io_handler ? state_->io_handler->Connected() : false;
}

void TTCPClient::OpenConnection() {
  if (IsConnected()) throw EIdAlreadyConnected(kAlreadyConnected);
  if (state_->host.empty()) throw EIdHostRequired("");
  if (state_->port == 0) throw EIdPortRequired("");
  if (!state_->io_handler) {
    state_->io_handler = std::make_unique<TIOHandler>();
    state_->io_handler->SetOwner(this);
  }
  TIOHandler& io = *state_->io_handler;
  try {
    io.SetPort(state_->port);
    io.SetHost(state_->host);
    io.SetConnectTimeout(state_->connect_timeout);
    io.SetReadTimeout(state_->read_timeout);
    io.SetIPVersion(state_->ip_version);
    io.Open();
    if (!state_->host.empty() && state_->port > 0) io.ConnectClient();
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
  if (io != nullptr && io->Opened()) io->Close();
  if (poll_failure) std::rethrow_exception(poll_failure);
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
  if (record.level == 1 && OnWorkEnd) {
    try {
      OnWorkEnd(*this, mode);
    } catch (...) {
      --record.level;
      throw;
    }
  }
  --record.level;
}

}  // namespace vxt
