// The main window's handlers against a fake window: the period, the settings file at show and
// close, the progress display, the live-status timer and the report button, the last ones
// through real exchanges with a scripted loopback server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "FakeMainWindowView.h"
#include "app/mainunit.h"
#include "connection/ConnectWait.h"
#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "support/FakeReportHost.h"
#include "support/FakeSocketApi.h"
#include "support/ScriptedServer.h"
#include "support/TestFiles.h"
#include "support/WindowTexts.h"

namespace vxt {
namespace {

using namespace testing;
using Lines = std::vector<std::string>;
using SocketKind = testing::SocketCall::Kind;
using namespace std::string_literals;

std::string Text(const TDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

// Short limits: a test that goes wrong fails by what it logs, not by waiting 45 s.
constexpr int kTestReadTimeout = 3000;

constexpr char kIniName[] = "VXTVannikorde.ini";

// Today's local date by the C library, not by the product's clock.
TDate CLibraryToday() {
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);
  return TDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

// The last day of a month by the C library: day 0 of the next month.
int LastDayOf(int year, int month) {
  std::tm day{};
  day.tm_year = year - 1900;
  day.tm_mon = month;  // the next month, counted from 0
  day.tm_mday = 0;
  day.tm_hour = 12;  // clear of a clock change at midnight
  std::mktime(&day);
  return day.tm_mday;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    main_.SetSettingsPath(SettingsPath());
    main_.SetResponseFolder(folder_.Path());
    main_.TCPClient.SetReadTimeout(kTestReadTimeout);
    main_.TCPClient.SetConnectTimeout(kTestReadTimeout);
    main_.FormCreate();
    // The show timer's tick reaches the logic as the window delivers it. Every exchange runs
    // long enough to be shown (the button greyed) at its first pump step; a test of a short
    // exchange lets the timer elapse only where it wants.
    view_.on_show_tick = [this] { main_.ShowTimerTimer(); };
    view_.show_timer_elapses_at_once = true;
    // What the fields show before the settings are loaded.
    view_.server = "start.example";
    view_.customer = "2";
    view_.pin = "7";
  }

  TPath SettingsPath() const { return folder_.File(kIniName); }

  void UseServer(const ScriptedServer& server) {
    view_.server = "127.0.0.1";
    main_.TCPClient.SetPort(server.Port());
  }

  // The fields as they were before the settings were loaded.
  void ExpectFieldsAsShown() const {
    EXPECT_EQ(view_.server, "start.example");
    EXPECT_EQ(view_.customer, "2");
    EXPECT_EQ(view_.pin, "7");
  }

  TempFolder folder_;
  FakeMainWindowView view_;
  TVXTMain main_{view_};
};

TEST(MainWindow, CreatesItsConnectionWithTheProductSettings) {
  FakeMainWindowView view;
  TVXTMain main(view);
  TTCPClient& client = main.TCPClient;
  EXPECT_EQ(client.Port(), 8026);
  EXPECT_EQ(client.ConnectTimeout(), 5000);
  EXPECT_EQ(client.ReadTimeout(), 45000);
  EXPECT_EQ(client.IPVersion(), TIPVersion::Id_IPv4);
  EXPECT_TRUE(view.calls.empty());  // creating the window logic touches no control

  // A second window would need a second TIdAntiFreeze.
  FakeMainWindowView other;
  EXPECT_THROW(TVXTMain second(other), EIdException);
}

TEST_F(MainWindowTest, TheResponsivenessComponentPumpsTheWindow) {
  ASSERT_EQ(TIdAntiFreeze::Instance(), &main_.IdAntiFreeze);
  TIdAntiFreeze::DoProcess(true);
  main_.IdAntiFreeze.SetApplicationHasPriority(false);
  TIdAntiFreeze::DoProcess(true);
  EXPECT_EQ(view_.calls, (Lines{"pump all", "pump one"}));
}

struct PeriodCase {
  TDate today;
  TDate first;
  TDate last;
};

TEST_F(MainWindowTest, FormShowSetsTheCurrentMonth) {
  const PeriodCase cases[] = {
      {{2028, 2, 15}, {2028, 2, 1}, {2028, 2, 29}},  // leap year
      {{2027, 2, 15}, {2027, 2, 1}, {2027, 2, 28}},
      {{2100, 2, 1}, {2100, 2, 1}, {2100, 2, 28}},   // a century is no leap year...
      {{2000, 2, 29}, {2000, 2, 1}, {2000, 2, 29}},  // ...unless divisible by 400
      {{2026, 12, 31}, {2026, 12, 1}, {2026, 12, 31}},
      {{2026, 4, 30}, {2026, 4, 1}, {2026, 4, 30}},
      {{2026, 1, 1}, {2026, 1, 1}, {2026, 1, 31}},
      {{2026, 9, 9}, {2026, 9, 1}, {2026, 9, 30}},
  };
  for (const PeriodCase& c : cases) {
    main_.SetToday([&] { return c.today; });
    main_.FormShow();
    EXPECT_EQ(Text(view_.first_day), Text(c.first));
    EXPECT_EQ(Text(view_.last_day), Text(c.last));
  }
}

TEST_F(MainWindowTest, FormShowReadsTodayAgainForTheLastDay) {
  // Shown at midnight between the 31st of January and the 1st of February.
  std::vector<TDate> reads = {{2027, 1, 31}, {2027, 2, 1}};
  size_t next = 0;
  main_.SetToday([&] { return reads.at(next++); });
  main_.FormShow();
  EXPECT_EQ(next, 2u);
  EXPECT_EQ(Text(view_.first_day), "2027-01-01");
  EXPECT_EQ(Text(view_.last_day), "2027-02-28");
}

TEST_F(MainWindowTest, FormShowWithoutSeamTakesTheLocalDate) {
  main_.SetToday(nullptr);
  // Read before and after: the show may fall on either side of midnight.
  const TDate before = CLibraryToday();
  main_.FormShow();
  const TDate after = CLibraryToday();
  bool matched = false;
  for (const TDate& today : {before, after}) {
    matched |= Text(view_.first_day) == Text(TDate{today.year, today.month, 1}) &&
               Text(view_.last_day) ==
                   Text(TDate{today.year, today.month, LastDayOf(today.year, today.month)});
  }
  EXPECT_TRUE(matched) << Text(view_.first_day) << " to " << Text(view_.last_day)
                       << " is not the month of " << Text(before) << " or " << Text(after);
}

TEST_F(MainWindowTest, TheSettingsFileLiesBesideTheExecutable) {
  namespace fs = std::filesystem;
  main_.SetSettingsPath(TPath());
  const fs::path path = testing::FsPath(main_.SettingsPath());
  EXPECT_EQ(path.filename().string(), kIniName);
  ASSERT_TRUE(path.is_absolute()) << path.string();
  // Beside this very test program, whatever the working folder.
  const fs::path folder = path.parent_path();
  EXPECT_TRUE(fs::exists(folder / "test_app") || fs::exists(folder / "test_app.exe"))
      << folder.string();
}

struct LoadCase {
  const char* what;
  std::string file;
  std::string customer;
  std::string pin;
  std::string server;
};

TEST_F(MainWindowTest, FormShowSetsTheFieldsFromTheFile) {
  const LoadCase cases[] = {
      {"as written", "KUPAC_ID=17\r\nKUPAC_PIN=5\r\nVXTSERVER=reports.example\r\n", "17", "5",
       "reports.example"},
      {"empty file", "", "", "", ""},
      {"customer only", "KUPAC_ID=42", "42", "", ""},
      {"small letters", "kupac_id=3\r\nKupac_Pin=4\r\nvxtserver=h\r\n", "3", "4", "h"},
      {"blank before or after the name", " KUPAC_ID=3\r\nKUPAC_ID =4\r\n", "", "", ""},
      {"duplicates", "KUPAC_ID=upper\r\nKUPAC_ID=lower\r\n", "upper", "", ""},
      {"= in a value", "VXTSERVER=a=b=\r\n", "", "", "a=b="},
      {"blanks kept", "KUPAC_PIN=  7 \r\nVXTSERVER= h \r\n", "", "  7 ", " h "},
      {"lone breaks", "KUPAC_ID=1\rKUPAC_PIN=2\nVXTSERVER=3", "1", "2", "3"},
      {"NUL", "KUPAC_ID=1\r\n\0KUPAC_PIN=2\r\nVXTSERVER=3\r\n"s, "1", "", ""},
      {"BOM", "\xEF\xBB\xBFKUPAC_ID=1\r\nKUPAC_PIN=2\r\n", "", "2", ""},
      {"sections and comments", "[Main]\r\n;KUPAC_ID=9\r\nKUPAC_ID=8\r\n# x\r\n", "8", "", ""},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.what);
    view_.server = "old server";
    view_.customer = "old customer";
    view_.pin = "old pin";
    WriteBytes(SettingsPath(), c.file);
    main_.FormShow();
    EXPECT_EQ(view_.customer, c.customer);
    EXPECT_EQ(view_.pin, c.pin);
    EXPECT_EQ(view_.server, c.server);
    EXPECT_EQ(ReadBytes(SettingsPath()), c.file);  // loading never writes
  }
}

TEST_F(MainWindowTest, WithoutAFileTheFieldsKeepTheirDefaultsUntilTheClose) {
  main_.FormShow();
  ExpectFieldsAsShown();
  EXPECT_TRUE(folder_.Entries().empty());

  main_.FormClose();
  EXPECT_EQ(ReadBytes(SettingsPath()), "KUPAC_ID=2\r\nKUPAC_PIN=7\r\nVXTSERVER=start.example\r\n");
  EXPECT_EQ(folder_.Entries(), Lines{kIniName});
}

TEST_F(MainWindowTest, AFolderOfTheSettingsNameIsNoFile) {
  testing::MakeFolder(SettingsPath());
  main_.FormShow();
  ExpectFieldsAsShown();
}

TEST_F(MainWindowTest, FormCloseWritesExactlyTheThreeFields) {
  view_.customer = "2";
  view_.pin = "";
  view_.server = "";
  main_.FormClose();
  EXPECT_EQ(ReadBytes(SettingsPath()), "KUPAC_ID=2\r\nKUPAC_PIN=\r\nVXTSERVER=\r\n");
  EXPECT_EQ(ReadBytes(SettingsPath()).size(), 36u);
}

TEST_F(MainWindowTest, ASaveDropsEverythingButTheThreeFieldsAndRoundTripsValues) {
  WriteBytes(SettingsPath(),
             "[Main]\r\n; comment\r\nKUPAC_ID= 12 \r\nkupac_id=9\r\nOTHER=x\r\n"
             "VXTSERVER=host=8026\r\n");
  main_.FormShow();
  main_.FormClose();
  EXPECT_EQ(ReadBytes(SettingsPath()), "KUPAC_ID= 12 \r\nKUPAC_PIN=\r\nVXTSERVER=host=8026\r\n");
}

TEST_F(MainWindowTest, AReadOnlyFileLoadsButFailsTheCloseUntilWritable) {
  const std::string old_bytes = "KUPAC_ID=5\r\nKUPAC_PIN=6\r\nVXTSERVER=srv\r\n";
  WriteBytes(SettingsPath(), old_bytes);
  testing::SetReadOnly(SettingsPath(), true);
  main_.FormShow();
  EXPECT_EQ(view_.customer, "5");
  view_.customer = "55";

  std::string message;
  try {
    main_.FormClose();
  } catch (const EFCreateError& failure) {
    message = failure.Message();
  }
  // The system's own text of the denied access follows; the file suites check it.
  const std::string start = "Cannot create file \"" + DisplayText(SettingsPath()) + "\". ";
  EXPECT_EQ(message.rfind(start, 0), 0u) << message;
  EXPECT_GT(message.size(), start.size()) << message;
  EXPECT_EQ(ReadBytes(SettingsPath()), old_bytes);
  EXPECT_EQ(folder_.Entries(), Lines{kIniName});
  EXPECT_EQ(view_.customer, "55");

  // The next close request saves again.
  testing::SetReadOnly(SettingsPath(), false);
  main_.FormClose();
  EXPECT_EQ(ReadBytes(SettingsPath()), "KUPAC_ID=55\r\nKUPAC_PIN=6\r\nVXTSERVER=srv\r\n");
}

// The connection's notifications reach the handlers through the events the window bound.
TEST_F(MainWindowTest, AnUnannouncedTransferWrapsTheBarAt150000) {
  TTCPClient& client = main_.TCPClient;
  ASSERT_TRUE(client.OnWorkBegin && client.OnWork && client.OnWorkEnd);
  client.OnWorkBegin(client, wmRead, 0);
  Lines expected = {"log: "s + kBeginLine, "max 150000"};
  for (int32_t count = 4096; count <= 151552; count += 4096) {
    client.OnWork(client, wmRead, count);
    expected.push_back("pos " + std::to_string(count % 150000));
    expected.push_back("pump all");
  }
  EXPECT_EQ(view_.progress_position, 1552);
  client.OnWorkEnd(client, wmRead);
  expected.push_back("log: "s + kEndLine);
  expected.push_back("pos 0");
  EXPECT_EQ(view_.calls, expected);
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine}));
}

TEST_F(MainWindowTest, AnnouncedTotalsSetTheMaximum) {
  TTCPClient& client = main_.TCPClient;
  // Exactly 150000 cannot be told from no total: the position wraps.
  main_.TCPClientWorkBegin(client, wmRead, 150000);
  main_.TCPClientWork(client, wmRead, 150000);
  EXPECT_EQ(view_.progress_max, 150000);
  EXPECT_EQ(view_.progress_position, 0);

  main_.TCPClientWorkBegin(client, wmWrite, 5000);
  EXPECT_EQ(view_.progress_max, 5000);
  main_.TCPClientWork(client, wmWrite, 4096);
  EXPECT_EQ(view_.progress_position, 4096);
  main_.TCPClientWork(client, wmWrite, 5000);
  EXPECT_EQ(view_.progress_position, 5000);

  main_.TCPClientWorkBegin(client, wmRead, -1);
  EXPECT_EQ(view_.progress_max, 150000);
  main_.TCPClientWork(client, wmRead, 300001);
  EXPECT_EQ(view_.progress_position, 1);
}

TEST_F(MainWindowTest, AnEmptyTransferLogsBothLinesAndNeverMovesTheBar) {
  TTCPClient& client = main_.TCPClient;
  main_.TCPClientWorkBegin(client, wmRead, 0);
  main_.TCPClientWorkEnd(client, wmRead);
  EXPECT_EQ(view_.CallsStartingWith("pos "), Lines{"pos 0"});
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine}));
}

const Script kTextReply = {Step::ReadLine(), Step::Send("Dobar dan\r\ndruga linija\r\n"),
                           Step::Close()};

TEST_F(MainWindowTest, TheReportButtonRunsOneExchangeAndLogsItsReply) {
  ScriptedServer server(kTextReply);
  UseServer(server);
  view_.customer = "2";
  view_.pin = "1";
  view_.first_day = {2026, 12, 1};
  view_.last_day = {2026, 12, 31};
  bool grey_while_running = true;
  view_.on_pump = [&] { grey_while_running &= !view_.button_enabled && main_.ExchangeRunning(); };

  main_.BitBtn1Click();

  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Dobar dan"}));
  view_.Idle();
  EXPECT_EQ(view_.log_on_screen, view_.log);
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.Received(0), "IZVJ 2 01-12-2026 31-12-2026 1 \r\n");
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(ReadBytes(folder_.File("response.pdf")), "Dobar dan\r\ndruga linija\r\n");
  EXPECT_TRUE(grey_while_running);
  EXPECT_FALSE(main_.ExchangeRunning());
  EXPECT_TRUE(view_.button_enabled);
  EXPECT_EQ(view_.show_timer_ms, 0) << "the show timer runs on";
  // The progress display ran inside the exchange: the bar wrapped mode, and it ended at 0.
  EXPECT_EQ(view_.CallsStartingWith("max "), Lines{"max 150000"});
  EXPECT_EQ(view_.progress_position, 0);
}

// What the user sees of an exchange by its length: the button greys and the lines are drawn as
// they come only from the show timer's tick on (after 33 ms); an exchange that ends before it
// leaves the button alone and draws its lines once, at its end.
TEST_F(MainWindowTest, AnExchangeIsShownFromTheShowTimersTickOn) {
  ScriptedServer server(kTextReply);
  server.QueueScript(kTextReply);
  UseServer(server);
  view_.show_timer_elapses_at_once = false;
  // What the user sees at each pump step of the exchange.
  struct Seen {
    bool button_enabled;
    Lines on_screen;
    Lines log;
  };
  std::vector<Seen> at_pump;
  size_t tick_at = 2;  // the timer elapses during this pump step (counted from 1)
  view_.on_pump = [&] {
    at_pump.push_back({view_.button_enabled, view_.log_on_screen, view_.log});
    if (at_pump.size() == tick_at) view_.ElapseShowTimer();
  };
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Dobar dan"}));
  ASSERT_GT(at_pump.size(), tick_at) << "no pump step after the tick";
  for (size_t i = 0; i < at_pump.size(); ++i) {
    SCOPED_TRACE("pump step " + std::to_string(i + 1));
    if (i < tick_at) {
      EXPECT_TRUE(at_pump[i].button_enabled);
      EXPECT_EQ(at_pump[i].on_screen, Lines{}) << "a line was drawn before the tick";
    } else {
      EXPECT_FALSE(at_pump[i].button_enabled);
      EXPECT_EQ(at_pump[i].on_screen, at_pump[i].log) << "a line waits undrawn after the tick";
    }
  }
  EXPECT_TRUE(view_.button_enabled);
  view_.Idle();
  EXPECT_EQ(view_.log_on_screen, view_.log);

  // No tick during this one: the button never greys, and the lines are drawn at the end.
  at_pump.clear();
  tick_at = 0;
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Dobar dan"}));
  ASSERT_GE(at_pump.size(), 2u);
  for (const Seen& seen : at_pump) {
    EXPECT_TRUE(seen.button_enabled);
    EXPECT_EQ(seen.on_screen, Lines{}) << "a line was drawn before the exchange was shown";
  }
  EXPECT_TRUE(view_.button_enabled);
  EXPECT_EQ(view_.log_on_screen, view_.log) << "the lines were not drawn at the end";

  // A tick that was already on its way when the exchange ended shows nothing.
  main_.ShowTimerTimer();
  EXPECT_TRUE(view_.button_enabled);
}

TEST_F(MainWindowTest, APdfReplyIsOpenedByTheShellOnceTheLogIsDrawn) {
  ScriptedServer server(
      {Step::ReadLine(), Step::Send(testing::PatternBytes(20000)), Step::Close()});
  UseServer(server);
  // A report that arrives before the show timer's tick: its lines are held undrawn until they
  // are drawn for the shell, which may keep the window from drawing for seconds while a
  // viewer starts.
  view_.show_timer_elapses_at_once = false;
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine}));
  EXPECT_EQ(view_.shell_opened, std::vector<TPath>{folder_.File("response.pdf")});
  EXPECT_EQ(view_.log_on_screen_at_shell_open, (Lines{kBeginLine, kEndLine}));
  EXPECT_EQ(ReadBytes(folder_.File("response.pdf")), testing::PatternBytes(20000));
}

TEST_F(MainWindowTest, APdfReplyTheShellCannotOpenStaysSavedAndTheLogSaysWhere) {
  ScriptedServer server(
      {Step::ReadLine(), Step::Send(testing::PatternBytes(20000)), Step::Close()});
  UseServer(server);
  view_.shell_open_succeeds = false;  // no viewer for .pdf
  main_.BitBtn1Click();
  const TPath path = folder_.File("response.pdf");
  EXPECT_EQ(view_.shell_opened, std::vector<TPath>{path});
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, kNotOpenedPrefix + DisplayText(path)}));
  view_.Idle();
  EXPECT_EQ(view_.log_on_screen, view_.log);
  EXPECT_EQ(ReadBytes(path), testing::PatternBytes(20000));
  EXPECT_TRUE(view_.button_enabled);
}

// Clicks that the exchange's own pump steps deliver (after the log is cleared, in the read,
// after the read): one exchange on the wire, its file and its log whole.
TEST_F(MainWindowTest, AClickDuringAnExchangeStartsNone) {
  const std::string reply = "Jedna razmjena\r\n" + std::string(900, 'r');
  ScriptedServer server({Step::ReadLine(), Step::SendBlocks(reply, 300, 5), Step::Close()});
  UseServer(server);
  int nested = 0;
  view_.on_pump = [&] {
    if (nested++ < 3) main_.BitBtn1Click();
  };
  main_.BitBtn1Click();
  EXPECT_GE(nested, 3);
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Jedna razmjena"}));
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.Received(0).rfind("IZVJ ", 0), 0u);
  EXPECT_FALSE(server.WaitForConnections(2, 200));
  EXPECT_EQ(ReadBytes(folder_.File("response.pdf")), reply);
  EXPECT_TRUE(view_.button_enabled);
}

TEST_F(MainWindowTest, AFailedExchangeLogsTheFailureAndReenablesTheButton) {
  view_.server = "";
  bool greyed = false;
  view_.on_pump = [&] { greyed |= !view_.button_enabled; };
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log, Lines{std::string(kFailurePrefix)});
  view_.Idle();
  EXPECT_EQ(view_.log_on_screen, view_.log);
  EXPECT_TRUE(greyed);
  EXPECT_TRUE(view_.button_enabled);
  EXPECT_FALSE(main_.ExchangeRunning());
}

TEST_F(MainWindowTest, TheButtonComesBackWhenTheWindowRaises) {
  ScriptedServer server(kTextReply);
  UseServer(server);
  // A failure outside the exchange's own kinds leaves the handler.
  struct WindowGone {};
  view_.on_pump = [] { throw WindowGone(); };
  EXPECT_THROW(main_.BitBtn1Click(), WindowGone);
  EXPECT_TRUE(view_.button_enabled);
  EXPECT_FALSE(main_.ExchangeRunning());
}

// The host-name lookup runs while the window goes on pumping its messages, as during the
// connect; its answer is what the connect then uses.
TEST_F(MainWindowTest, TheWindowKeepsPumpingWhileTheHostNameIsLookedUp) {
  testing::FakeSocketApi sockets;
  sockets.AddHost("reports.example", "127.0.0.7");
  sockets.LookupBlocks();
  sockets.QueueData("Dobar dan\r\n");
  sockets.QueueClose();
  view_.server = "reports.example";
  int pumps_during_lookup = 0;
  bool released = false;
  view_.on_pump = [&] {
    if (released || !sockets.LookupPending()) return;
    ++pumps_during_lookup;
    EXPECT_EQ(view_.calls.back(), "pump all");
    if (pumps_during_lookup == 3) {
      released = true;
      sockets.ReleaseLookup();
    }
  };
  main_.BitBtn1Click();
  EXPECT_EQ(pumps_during_lookup, 3) << "the lookup blocked the window";
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Dobar dan"}));
  ASSERT_EQ(sockets.Count(SocketKind::kConnect), 1u);
  EXPECT_EQ(sockets.CallsOf(SocketKind::kConnect).at(0).text, "127.0.0.7");
  // The socket was made and bound before the lookup.
  EXPECT_EQ(sockets.Sequence({SocketKind::kWaitReadable, SocketKind::kRecv}).at(3),
            SocketKind::kGetHostByName);
}

// A close while the lookup hangs: the window thread does not wait for the name server.
TEST_F(MainWindowTest, ClosingTheWindowDoesNotWaitForAHangingLookup) {
  testing::FakeSocketApi sockets;
  sockets.LookupBlocks();
  view_.server = "reports.example";
  bool destroyed_at_the_close = true;
  view_.on_pump = [&] {
    if (!sockets.LookupPending()) return;
    view_.on_pump = nullptr;
    main_.Close();
    destroyed_at_the_close = view_.destroyed;
  };
  main_.BitBtn1Click();
  EXPECT_TRUE(sockets.LookupPending()) << "the exchange waited for the lookup";
  EXPECT_FALSE(destroyed_at_the_close) << "destroyed while the exchange was on the stack";
  EXPECT_TRUE(view_.destroyed);
  EXPECT_EQ(sockets.OpenSockets(), 0u);
  EXPECT_EQ(sockets.Count(SocketKind::kConnect), 0u);
  // The abandoned lookup ends later; its answer is read by nobody.
  sockets.ReleaseLookup();
}

// Failures outside the exchange's own kinds end it like any other: one log line, the file
// closed with what arrived, the connection closed.
TEST_F(MainWindowTest, RunningOutOfMemoryIsLoggedAndCleanedUp) {
  ScriptedServer server(
      {Step::ReadLine(), Step::Send(testing::PatternBytes(4096)), Step::Silent()});
  UseServer(server);
  view_.on_pump = [&] {
    if (view_.CallsStartingWith("pos ").empty()) return;
    view_.on_pump = nullptr;
    throw std::bad_alloc();
  };
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log,
            (Lines{kBeginLine, kEndLine, "Error while connecting to TCP SERVER:\rOut of memory."}));
  EXPECT_TRUE(testing::FileIsFree(folder_.File("response.pdf")));
  EXPECT_EQ(ReadBytes(folder_.File("response.pdf")), testing::PatternBytes(4096));
  EXPECT_FALSE(main_.TCPClient.IsConnected());
  ASSERT_TRUE(server.WaitUntilDone(0)) << "the client kept the connection open";
  EXPECT_TRUE(server.ClientClosed(0));
  EXPECT_FALSE(main_.ExchangeRunning());
  EXPECT_TRUE(view_.button_enabled);
}

TEST_F(MainWindowTest, ALookupThreadThatCannotStartIsAConnectionFailure) {
  ScriptedServer server(kTextReply);
  UseServer(server);
  // A name, so that a lookup is needed; the thread for it is refused before it could look.
  view_.server = "reports.invalid";
  const std::error_code refused = std::make_error_code(std::errc::resource_unavailable_try_again);
  ASSERT_FALSE(refused.message().empty());
  struct StartHook {
    explicit StartHook(std::error_code code) {
      SetWorkerStartHookForTesting([code] { throw std::system_error(code); });
    }
    ~StartHook() { SetWorkerStartHookForTesting(nullptr); }
  };
  {
    StartHook no_threads(refused);
    main_.BitBtn1Click();
  }
  EXPECT_EQ(view_.log, Lines{"Error while connecting to TCP SERVER:\r" + refused.message()});
  EXPECT_EQ(main_.TCPClient.IOHandler(), nullptr);  // the socket is closed
  EXPECT_EQ(server.ConnectionCount(), 0u);
  EXPECT_TRUE(view_.button_enabled);

  UseServer(server);
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Dobar dan"}));
}

// A close during an exchange comes from one of its pump steps. Wherever it comes, the exchange
// ends at once: no further request, no outcome and no shell open, what arrived stays in the
// file, the connection closes, and the window goes once the exchange has returned.
struct CloseCase {
  const char* what;
  Script script;
  // The pump step of the close: the first after this many "pos " calls (-1: the first pump).
  int after_blocks;
  // The response file afterwards: at least its first min_kept bytes (what may still have been
  // on its way by the close need not be there).
  std::string file;
  size_t min_kept;
};

TEST_F(MainWindowTest, ACloseEndsTheExchangeAtOnceAndTheWindowGoesWhenItReturns) {
  const CloseCase cases[] = {
      {"while the cleared log is drawn", {Step::ReadLine(), Step::Close()}, -1, "stale", 5},
      {"after a block of a report",
       {Step::ReadLine(), Step::Send(testing::PatternBytes(20000)), Step::Silent()},
       1,
       testing::PatternBytes(20000),
       4096},
  };
  for (const CloseCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    WriteBytes(folder.File("response.pdf"), "stale");
    main_.SetResponseFolder(folder.Path());
    ScriptedServer server(c.script);
    UseServer(server);
    view_.calls.clear();
    view_.destroyed = false;
    bool destroyed_at_the_close = true;
    view_.on_pump = [&] {
      if (static_cast<int>(view_.CallsStartingWith("pos ").size()) < c.after_blocks) return;
      view_.on_pump = nullptr;
      main_.Close();
      destroyed_at_the_close = view_.destroyed;
    };
    main_.BitBtn1Click();
    EXPECT_FALSE(destroyed_at_the_close) << "destroyed while the exchange was on the stack";
    EXPECT_TRUE(view_.destroyed);
    EXPECT_TRUE(view_.shell_opened.empty());
    EXPECT_FALSE(main_.TCPClient.IsConnected());
    if (c.after_blocks < 0) {
      EXPECT_FALSE(server.WaitForConnections(1, 200)) << "connected after the close";
    } else {
      ASSERT_TRUE(server.WaitUntilDone(0)) << "the client kept the connection open";
      EXPECT_TRUE(server.ClientClosed(0));
    }
    const std::string kept = ReadBytes(folder.File("response.pdf"));
    EXPECT_GE(kept.size(), c.min_kept);
    EXPECT_TRUE(kept == c.file.substr(0, kept.size())) << kept.size() << " bytes kept";
    EXPECT_TRUE(testing::FileIsFree(folder.File("response.pdf")));
  }
}

TEST_F(MainWindowTest, WaitingMessagesArePumpedWhileTheServerIsSilent) {
  ScriptedServer server({Step::ReadLine(), Step::Silent()});
  UseServer(server);
  view_.show_timer_elapses_at_once = false;
  // Once the reply is awaited the show timer elapses: its tick waits in the queue, the wait
  // sees it pending and hands it to a pump step, and the button greys. Then a close request
  // waits; when the wait hands it on too, the window closes. Without the pending check neither
  // would be pumped before the end of the read time limit's first wait.
  enum { kConnecting, kTickQueued, kShown, kClosing } stage = kConnecting;
  int checks_before_tick = 0;
  view_.on_pump = [&] {
    if (stage == kConnecting && !view_.CallsStartingWith("max ").empty()) {
      stage = kTickQueued;
      checks_before_tick = view_.pending_checks;
      view_.ElapseShowTimer();
    } else if (stage == kTickQueued && !view_.button_enabled) {
      stage = kShown;
      EXPECT_GT(view_.pending_checks, checks_before_tick) << "pumped without a pending check";
      view_.messages_pending = true;
    } else if (stage == kShown && view_.messages_pending) {
      stage = kClosing;
      view_.messages_pending = false;
      view_.on_pump = nullptr;
      main_.Close();
    }
  };
  main_.BitBtn1Click();
  EXPECT_EQ(stage, kClosing);
  EXPECT_TRUE(view_.destroyed);
  ASSERT_TRUE(server.WaitUntilDone(0)) << "the client kept the connection open";
  EXPECT_TRUE(server.ClientClosed(0));
}

const Script kLiveStatusReply = {Step::ReadLine(), Step::Send("STATUS OK\r\n"), Step::Close()};

TEST_F(MainWindowTest, TheMenuStartsTheLiveStatusAndEveryThirtyFirstTickRepeatsIt) {
  ScriptedServer server(kLiveStatusReply);
  UseServer(server);
  main_.LiveStatusMenuClick();
  EXPECT_TRUE(view_.live_status_checked);
  EXPECT_TRUE(view_.timer_enabled);
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.Received(0), "ALIVR\r\n");
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "STATUS OK"}));
  EXPECT_EQ(ReadBytes(folder_.File("alivr.txt")), "STATUS OK\r\n");

  for (int tick = 1; tick <= 30; ++tick) main_.Timer1Timer();
  EXPECT_EQ(server.ConnectionCount(), 1u);
  main_.Timer1Timer();
  ASSERT_TRUE(server.WaitUntilDone(1)) << "the 31st tick did not repeat the live status";
  EXPECT_EQ(server.Received(1), "ALIVR\r\n");

  // Stopped after 5 ticks; the count starts again, and ticks of the stopped timer that are
  // still on their way count nothing.
  for (int tick = 1; tick <= 5; ++tick) main_.Timer1Timer();
  main_.LiveStatusMenuClick();
  EXPECT_FALSE(view_.live_status_checked);
  EXPECT_FALSE(view_.timer_enabled);
  for (int tick = 1; tick <= 62; ++tick) main_.Timer1Timer();
  EXPECT_EQ(server.ConnectionCount(), 2u);
  main_.LiveStatusMenuClick();
  ASSERT_TRUE(server.WaitUntilDone(2));
  for (int tick = 1; tick <= 30; ++tick) main_.Timer1Timer();
  EXPECT_EQ(server.ConnectionCount(), 3u) << "the count went on from before the stop";
}

// The menu item is chosen while a report waits for its reply (from the report's own message
// pumping, as the real window does). The live status cannot share the connection, so it runs
// as soon as the report has returned; the ticks that follow go on from there. Ticks reach the
// window only while its timer is enabled, as with the real timer.
TEST_F(MainWindowTest, TheMenuChosenDuringAReportStartsTheLiveStatusAfterIt) {
  ScriptedServer server(kLiveStatusReply);
  // The connections in order: two reports, two live statuses, a report, a live status.
  for (const Script* script :
       {&kTextReply, &kTextReply, &kLiveStatusReply, &kLiveStatusReply, &kTextReply}) {
    server.QueueScript(*script);
  }
  UseServer(server);
  auto tick = [&](int count) {
    for (int i = 0; i < count; ++i) {
      if (view_.timer_enabled) main_.Timer1Timer();
    }
  };
  // Chooses the item (times times) once the report receives.
  auto choose_during_report = [&](int times) {
    view_.on_pump = [&, times] {
      if (view_.CallsStartingWith("max ").empty()) return;
      view_.on_pump = nullptr;
      for (int i = 0; i < times; ++i) main_.LiveStatusMenuClick();
    };
  };

  // Checked and unchecked again while the report runs: nothing runs after it.
  choose_during_report(2);
  main_.BitBtn1Click();
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "Dobar dan"}));
  EXPECT_FALSE(view_.live_status_checked);
  EXPECT_FALSE(view_.timer_enabled);
  view_.calls.clear();
  tick(62);
  EXPECT_TRUE(view_.calls.empty());

  // Checked while the report runs: the repetition starts at once...
  view_.calls.clear();
  choose_during_report(1);
  main_.BitBtn1Click();
  EXPECT_TRUE(view_.live_status_checked);
  EXPECT_TRUE(view_.timer_enabled);
  // ...and the live status follows the report.
  ASSERT_TRUE(server.WaitForConnections(3)) << "no live-status request after the report";
  ASSERT_TRUE(server.WaitUntilDone(2));
  EXPECT_EQ(server.Received(1).rfind("IZVJ ", 0), 0u);
  EXPECT_EQ(server.Received(2), "ALIVR\r\n");
  EXPECT_EQ(view_.log, (Lines{kBeginLine, kEndLine, "STATUS OK"}));

  // Every 31st tick after it repeats it.
  view_.calls.clear();
  tick(30);
  EXPECT_TRUE(view_.calls.empty());
  tick(1);
  ASSERT_TRUE(server.WaitForConnections(4)) << "the 31st tick did not repeat the live status";
  ASSERT_TRUE(server.WaitUntilDone(3));
  EXPECT_EQ(server.Received(3), "ALIVR\r\n");

  // Unchecking stops it.
  main_.LiveStatusMenuClick();
  EXPECT_FALSE(view_.live_status_checked);
  EXPECT_FALSE(view_.timer_enabled);
  view_.calls.clear();
  tick(62);
  EXPECT_TRUE(view_.calls.empty());

  // A failure of the window ends the report before the live status could follow it: the next
  // tick runs it. (Only what is no std::exception leaves the exchange; the rest is logged.)
  struct WindowGone {};
  view_.on_pump = [&] {
    if (view_.CallsStartingWith("max ").empty()) return;
    view_.on_pump = nullptr;
    main_.LiveStatusMenuClick();
    throw WindowGone();
  };
  EXPECT_THROW(main_.BitBtn1Click(), WindowGone);
  EXPECT_TRUE(view_.timer_enabled);
  tick(1);
  ASSERT_TRUE(server.WaitForConnections(6)) << "the tick did not run the waiting live status";
  ASSERT_TRUE(server.WaitUntilDone(5));
  EXPECT_EQ(server.Received(5), "ALIVR\r\n");
  EXPECT_EQ(view_.log.back(), "STATUS OK");
}

TEST_F(MainWindowTest, AStopDuringTheLiveStatusRequestStaysInForce) {
  ScriptedServer server(kLiveStatusReply);
  UseServer(server);
  view_.on_pump = [&] {
    if (view_.live_status_checked) main_.LiveStatusMenuClick();
  };
  main_.LiveStatusMenuClick();
  EXPECT_FALSE(view_.timer_enabled);
  EXPECT_FALSE(view_.live_status_checked);
  EXPECT_TRUE(view_.button_enabled);
}

}  // namespace
}  // namespace vxt
