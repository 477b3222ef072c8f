// The failure tree: every kind is caught by each of its bases and by no other branch, names
// itself as the failure box shows it, and keeps its message and extra data.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "failures/Exceptions.h"

namespace vxt {
namespace {

// Which of the tree's branch kinds a failure is.
struct Branches {
  bool id_exception;
  bool silent;
  bool socket_error;
  bool socket_handle_error;
  bool stack_error;
  bool stream_error;
  bool file_stream_error;
  bool external;
  bool int_error;
};

Branches BranchesOf(const Exception& failure) {
  return {dynamic_cast<const EIdException*>(&failure) != nullptr,
          dynamic_cast<const EIdSilentException*>(&failure) != nullptr,
          dynamic_cast<const EIdSocketError*>(&failure) != nullptr,
          dynamic_cast<const EIdSocketHandleError*>(&failure) != nullptr,
          dynamic_cast<const EIdStackError*>(&failure) != nullptr,
          dynamic_cast<const EStreamError*>(&failure) != nullptr,
          dynamic_cast<const EFileStreamError*>(&failure) != nullptr,
          dynamic_cast<const EExternal*>(&failure) != nullptr,
          dynamic_cast<const EIntError*>(&failure) != nullptr};
}

struct KindCase {
  const char* class_name;
  std::function<void()> raise;
  Branches branches;
};

std::vector<KindCase> KindCases() {
  // The flags follow the order of Branches.
  return {
      {"EIdException",
       [] { throw EIdException(kNotConnected); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdSilentException",
       [] { throw EIdSilentException("m"); },
       {true, true, false, false, false, false, false, false, false}},
      {"EIdConnClosedGracefully",
       [] { throw EIdConnClosedGracefully(kConnClosedGracefully); },
       {true, true, false, false, false, false, false, false, false}},
      {"EIdSocketError",
       [] { throw EIdSocketError(10054, "m"); },
       {true, false, true, false, false, false, false, false, false}},
      {"EIdNotASocket",
       [] { throw EIdNotASocket(10038, "m"); },
       {true, false, true, false, false, false, false, false, false}},
      {"EIdConnectTimeout",
       [] { throw EIdConnectTimeout(kConnectTimedOut); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdConnectException",
       [] { throw EIdConnectException("m"); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdReadTimeout",
       [] { throw EIdReadTimeout(kReadTimeout); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdClosedSocket",
       [] { throw EIdClosedSocket(kDisconnected); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdAlreadyConnected",
       [] { throw EIdAlreadyConnected(kAlreadyConnected); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdHostRequired",
       [] { throw EIdHostRequired(""); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdPortRequired",
       [] { throw EIdPortRequired(""); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdSocketHandleError",
       [] { throw EIdSocketHandleError("m"); },
       {true, false, false, true, false, false, false, false, false}},
      {"EIdCouldNotBindSocket",
       [] { throw EIdCouldNotBindSocket(kCouldNotBindSocket); },
       {true, false, false, true, false, false, false, false, false}},
      {"EIdTooMuchDataInBuffer",
       [] { throw EIdTooMuchDataInBuffer(kTooMuchDataInBuffer); },
       {true, false, false, false, false, false, false, false, false}},
      {"EIdStackError",
       [] { throw EIdStackError("m"); },
       {true, false, false, false, true, false, false, false, false}},
      {"EIdStackInitializationFailed",
       [] { throw EIdStackInitializationFailed(kWinsockInitializationError); },
       {true, false, false, false, true, false, false, false, false}},
      {"EIdWinsockStubError",
       [] { throw EIdWinsockStubError("t", 0, ""); },
       {true, false, false, false, false, false, false, false, false}},
      {"EStreamError",
       [] { throw EStreamError("m"); },
       {false, false, false, false, false, true, false, false, false}},
      {"EFileStreamError",
       [] { throw EFileStreamError("m"); },
       {false, false, false, false, false, true, true, false, false}},
      {"EFCreateError",
       [] { throw EFCreateError("m"); },
       {false, false, false, false, false, true, true, false, false}},
      {"EFOpenError",
       [] { throw EFOpenError("m"); },
       {false, false, false, false, false, true, true, false, false}},
      {"EWriteError",
       [] { throw EWriteError(kStreamWriteError); },
       {false, false, false, false, false, true, false, false, false}},
      {"EInOutError",
       [] { throw EInOutError(32, "I/O error 32"); },
       {false, false, false, false, false, false, false, false, false}},
      {"EExternal",
       [] { throw EExternal("m"); },
       {false, false, false, false, false, false, false, true, false}},
      {"EIntError",
       [] { throw EIntError("m"); },
       {false, false, false, false, false, false, false, true, true}},
      {"ERangeError",
       [] { throw ERangeError(kRangeCheckError); },
       {false, false, false, false, false, false, false, true, true}},
  };
}

TEST(FailureKindsTest, EachKindIsCaughtByItsBasesOnly) {
  for (const auto& kind : KindCases()) {
    SCOPED_TRACE(kind.class_name);
    try {
      kind.raise();
      ADD_FAILURE() << "nothing raised";
    } catch (const Exception& failure) {
      EXPECT_STREQ(failure.ClassName(), kind.class_name);
      const Branches actual = BranchesOf(failure);
      EXPECT_EQ(actual.id_exception, kind.branches.id_exception);
      EXPECT_EQ(actual.silent, kind.branches.silent);
      EXPECT_EQ(actual.socket_error, kind.branches.socket_error);
      EXPECT_EQ(actual.socket_handle_error, kind.branches.socket_handle_error);
      EXPECT_EQ(actual.stack_error, kind.branches.stack_error);
      EXPECT_EQ(actual.stream_error, kind.branches.stream_error);
      EXPECT_EQ(actual.file_stream_error, kind.branches.file_stream_error);
      EXPECT_EQ(actual.external, kind.branches.external);
      EXPECT_EQ(actual.int_error, kind.branches.int_error);
    }
  }
}

TEST(FailureKindsTest, TheRootCatchesEverythingAsAStandardException) {
  for (const auto& kind : KindCases()) {
    try {
      kind.raise();
    } catch (const std::exception& failure) {
      const auto* root = dynamic_cast<const Exception*>(&failure);
      ASSERT_NE(root, nullptr) << kind.class_name;
      EXPECT_STREQ(failure.what(), root->Message().c_str());
    }
  }
}

TEST(FailureKindsTest, MessagesAreKeptUnchangedWithLineBreaksAndHighBytes) {
  const std::string message = "a\r\nb\rc\x80\xFF.";
  try {
    throw EIdConnectException(message);
  } catch (const EIdException& failure) {
    EXPECT_EQ(failure.Message(), message);
  }
  try {
    throw EIdHostRequired("");
  } catch (const Exception& failure) {
    EXPECT_EQ(failure.Message(), "");
    EXPECT_STREQ(failure.what(), "");
  }
}

TEST(FailureKindsTest, InOutErrorKeepsItsCode) {
  try {
    RaiseIoFailure(-7);
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.ErrorCode(), -7);
    EXPECT_EQ(failure.Message(), "I/O error -7");
  }
}

TEST(WinsockStubErrorTest, WithoutACodeTheMessageIsTheTitleAlone) {
  const EIdWinsockStubError failure("Error on loading Winsock2 library (WS2_32.DLL)", 0, "");
  EXPECT_EQ(failure.Message(), "Error on loading Winsock2 library (WS2_32.DLL)");
  EXPECT_EQ(failure.Title(), "Error on loading Winsock2 library (WS2_32.DLL)");
  EXPECT_EQ(failure.Win32Error(), 0u);
  EXPECT_EQ(failure.Win32ErrorText(), "");
}

TEST(WinsockStubErrorTest, WithACodeTheSystemTextFollowsAColon) {
  const EIdWinsockStubError failure("Error on loading Winsock2 library (WS2_32.DLL)", 126,
                                    "The specified module could not be found");
  EXPECT_EQ(failure.Message(),
            "Error on loading Winsock2 library (WS2_32.DLL): The specified module could not be "
            "found");
  EXPECT_EQ(failure.Title(), "Error on loading Winsock2 library (WS2_32.DLL)");
  EXPECT_EQ(failure.Win32Error(), 126u);
  EXPECT_EQ(failure.Win32ErrorText(), "The specified module could not be found");
}

TEST(FixedTextsTest, ExactBytes) {
  EXPECT_STREQ(kConnClosedGracefully, "Connection Closed Gracefully.");
  EXPECT_STREQ(kNotConnected, "Not Connected");
  EXPECT_STREQ(kDisconnected, "Disconnected.");
  EXPECT_STREQ(kReadTimeout, "Read Timeout");
  EXPECT_STREQ(kConnectTimedOut, "Connect timed out.");
  EXPECT_STREQ(kAlreadyConnected, "Already connected.");
  EXPECT_STREQ(kCouldNotBindSocket, "Could not bind socket. Address and port are already in use.");
  EXPECT_STREQ(kTooMuchDataInBuffer, "Too much data in buffer.");
  EXPECT_STREQ(kRangeCheckError, "Range check error");
  EXPECT_STREQ(kWinsockInitializationError, "Winsock Initialization Error.");
  EXPECT_STREQ(kWinsockLoadTitle, "Error on loading Winsock2 library (%s)");
}

}  // namespace
}  // namespace vxt
