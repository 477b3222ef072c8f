// Helpers shared by the connection suites: a notification recorder and exception checks.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "connection/TCPClient.h"
#include "failures/Exceptions.h"

namespace vxt {

// Records the transfer notifications of a client as short texts: "begin r 0", "work r 4096",
// "end r" ("r" for wmRead, "w" for wmWrite).
class NotificationLog {
 public:
  explicit NotificationLog(TTCPClient& client) {
    client.OnWorkBegin = [this, &client](TTCPClient& sender, TWorkMode mode, int32_t total) {
      EXPECT_EQ(&sender, &client);
      entries_.push_back("begin " + Mode(mode) + " " + std::to_string(total));
    };
    client.OnWork = [this, &client](TTCPClient& sender, TWorkMode mode, int32_t count) {
      EXPECT_EQ(&sender, &client);
      entries_.push_back("work " + Mode(mode) + " " + std::to_string(count));
    };
    client.OnWorkEnd = [this, &client](TTCPClient& sender, TWorkMode mode) {
      EXPECT_EQ(&sender, &client);
      entries_.push_back("end " + Mode(mode));
    };
  }
  const std::vector<std::string>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

 private:
  static std::string Mode(TWorkMode mode) { return mode == wmRead ? "r" : "w"; }
  std::vector<std::string> entries_;
};

// Runs action and checks that it raises exactly the kind (by class name) with the message.
// Returns the socket error number for socket errors, else 0.
inline int32_t ExpectFailure(const std::function<void()>& action, const char* kind,
                             const std::string& message) {
  try {
    action();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), kind);
    EXPECT_EQ(e.Message(), message);
    if (auto* socket_error = dynamic_cast<const EIdSocketError*>(&e)) {
      return socket_error->LastError();
    }
    return 0;
  }
  ADD_FAILURE() << "no failure, expected " << kind << " \"" << message << "\"";
  return 0;
}

}  // namespace vxt
