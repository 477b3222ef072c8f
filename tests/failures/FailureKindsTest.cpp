// The failure tree as the rest of the program meets it: each kind is caught by its own base
// kinds and by no other branch, and names itself as the failure box shows it.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "failures/Exceptions.h"

namespace vxt {
namespace {

// The tree as the table of failure kinds gives it: each kind and its base.
const std::map<std::string, std::string> kBaseOf = {
    {"EIdException", "Exception"},
    {"EIdSilentException", "EIdException"},
    {"EIdConnClosedGracefully", "EIdSilentException"},
    {"EIdSocketError", "EIdException"},
    {"EIdNotASocket", "EIdSocketError"},
    {"EIdConnectTimeout", "EIdException"},
    {"EIdConnectException", "EIdException"},
    {"EIdReadTimeout", "EIdException"},
    {"EIdClosedSocket", "EIdException"},
    {"EIdAlreadyConnected", "EIdException"},
    {"EIdHostRequired", "EIdException"},
    {"EIdPortRequired", "EIdException"},
    {"EIdSocketHandleError", "EIdException"},
    {"EIdCouldNotBindSocket", "EIdSocketHandleError"},
    {"EIdTooMuchDataInBuffer", "EIdException"},
    {"EIdStackError", "EIdException"},
    {"EIdStackInitializationFailed", "EIdStackError"},
    {"EIdWinsockStubError", "EIdException"},
    {"EStreamError", "Exception"},
    {"EFileStreamError", "EStreamError"},
    {"EFCreateError", "EFileStreamError"},
    {"EFOpenError", "EFileStreamError"},
    {"EWriteError", "EStreamError"},
    {"EInOutError", "Exception"},
    {"EExternal", "Exception"},
    {"EIntError", "EExternal"},
    {"ERangeError", "EIntError"},
};

// One failure of the kind.
template <typename Kind>
Kind Make() {
  return Kind("m");
}
template <>
EIdSocketError Make() {
  return EIdSocketError(10054, "m");
}
template <>
EIdNotASocket Make() {
  return EIdNotASocket(10038, "m");
}
template <>
EInOutError Make() {
  return EInOutError(32, "m");
}
template <>
EIdWinsockStubError Make() {
  return EIdWinsockStubError("t", 0, "");
}

// For every kind of the program, by the name it gives itself: the names of the kinds whose
// handlers catch it.
template <typename... Kinds>
struct Tree {
  static std::map<std::string, std::set<std::string>> CaughtBy() {
    std::map<std::string, std::set<std::string>> caught;
    (Raise<Kinds>(caught[Make<Kinds>().ClassName()]), ...);
    return caught;
  }
  template <typename Raised>
  static void Raise(std::set<std::string>& catchers) {
    (TryCatch<Raised, Kinds>(catchers), ...);
  }
  template <typename Raised, typename Catcher>
  static void TryCatch(std::set<std::string>& catchers) {
    try {
      throw Make<Raised>();
    } catch (const Catcher&) {
      catchers.insert(Make<Catcher>().ClassName());
    } catch (...) {
    }
  }
};

TEST(FailureKindsTest, EachKindIsCaughtByItsBasesOnly) {
  std::map<std::string, std::set<std::string>> expected;
  expected["Exception"] = {"Exception"};
  for (const auto& [kind, base] : kBaseOf) {
    for (std::string name = kind; !name.empty();) {
      expected[kind].insert(name);
      name = name == "Exception" ? "" : kBaseOf.at(name);
    }
  }
  const auto caught =
      Tree<Exception, EIdException, EIdSilentException, EIdConnClosedGracefully, EIdSocketError,
           EIdNotASocket, EIdConnectTimeout, EIdConnectException, EIdReadTimeout, EIdClosedSocket,
           EIdAlreadyConnected, EIdHostRequired, EIdPortRequired, EIdSocketHandleError,
           EIdCouldNotBindSocket, EIdTooMuchDataInBuffer, EIdStackError,
           EIdStackInitializationFailed, EIdWinsockStubError, EStreamError, EFileStreamError,
           EFCreateError, EFOpenError, EWriteError, EInOutError, EExternal, EIntError,
           ERangeError>::CaughtBy();
  EXPECT_EQ(caught, expected);
}

TEST(WinsockStubErrorTest, TheSystemTextFollowsAColonOnlyWithACode) {
  const std::string title = "Error on loading Winsock2 library (WS2_32.DLL)";
  const EIdWinsockStubError without(title, 0, "");
  EXPECT_EQ(without.Message(), title);
  const EIdWinsockStubError with(title, 126, "The specified module could not be found");
  EXPECT_EQ(with.Message(), title + ": The specified module could not be found");
  EXPECT_EQ(with.Title(), title);
  EXPECT_EQ(with.Win32Error(), 126u);
  EXPECT_EQ(with.Win32ErrorText(), "The specified module could not be found");
}

}  // namespace
}  // namespace vxt
