#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

#include "Accounts.h"
#include "Replies.h"

namespace vxt::demo {
namespace {

Reply ReplyTo(const std::string& line) {
  int status_calls = 0;
  Reply reply = ChooseReply(ParseRequest(line), [&] {
    ++status_calls;
    return LiveStatus{"01-12-2026 10:11:12", 3};
  });
  // Only the live-status answer needs the clock and the connection count.
  EXPECT_EQ(status_calls, reply.kind == ReplyKind::kLiveStatus ? 1 : 0) << line;
  return reply;
}

// The fixed text of each kind of message reply.
const std::map<ReplyKind, std::string_view> kTextOf = {
    {ReplyKind::kWrongPin, replies::kWrongPin},
    {ReplyKind::kUnknownCustomer, replies::kUnknownCustomer},
    {ReplyKind::kMalformed, replies::kMalformed},
    {ReplyKind::kBadDate, replies::kBadDate},
    {ReplyKind::kReversedPeriod, replies::kReversedPeriod},
    {ReplyKind::kPeriodTooLong, replies::kPeriodTooLong},
};

TEST(DemoReplies, EachRequestGetsItsKindOfReply) {
  struct Case {
    const char* line;
    ReplyKind kind;
  };
  const Case cases[] = {
      {"IZVJ 2 01-12-2026 31-12-2026 1 ", ReplyKind::kReport},
      {"IZVJ 2 01-12-2026 31-12-2026 1", ReplyKind::kReport},
      {"IZVJ 2 01-12-2026 31-12-2026 2 ", ReplyKind::kWrongPin},
      {"IZVJ 2 01-12-2026 31-12-2026  ", ReplyKind::kWrongPin},
      {"IZVJ 2 01-12-2026 31-12-2026 4321 ", ReplyKind::kWrongPin},
      {"IZVJ 99 01-12-2026 31-12-2026 1 ", ReplyKind::kUnknownCustomer},
      {"IZVJ  01-12-2026 31-12-2026 1 ", ReplyKind::kUnknownCustomer},
      {"IZVJ 2 01-12-2026 31-12-2026", ReplyKind::kMalformed},
      {"hello", ReplyKind::kMalformed},
      {"", ReplyKind::kMalformed},
      {"IZVJ 2 31-04-2026 30-05-2026 1 ", ReplyKind::kBadDate},
      // The form is checked before the account, the account before the period.
      {"IZVJ 99 31-04-2026 30-05-2026 1 ", ReplyKind::kBadDate},
      {"IZVJ 99 02-12-2026 01-12-2026 1 ", ReplyKind::kUnknownCustomer},
      {"IZVJ 2 02-12-2026 01-12-2026 9 ", ReplyKind::kWrongPin},
      {"IZVJ 2 02-12-2026 01-12-2026 1 ", ReplyKind::kReversedPeriod},
      {"IZVJ 2 01-01-2026 31-12-2027 1 ", ReplyKind::kReport},
      {"IZVJ 2 31-12-2025 01-01-2028 1 ", ReplyKind::kPeriodTooLong},
      {"IZVJ 2 01-01-2026 01-01-2028 1 ", ReplyKind::kPeriodTooLong},
      {"IZVJ 17 01-12-2026 31-12-2026 4321 ", ReplyKind::kReport},
      {"IZVJ 305 01-12-2026 31-12-2026 2468 ", ReplyKind::kReport},
  };
  for (const Case& c : cases) {
    const Reply reply = ReplyTo(c.line);
    EXPECT_EQ(reply.kind, c.kind) << c.line;
    if (c.kind == ReplyKind::kReport) {
      EXPECT_EQ(reply.bytes.substr(0, 5), "%PDF-") << c.line;
      EXPECT_GT(reply.bytes.size(), 1024u) << c.line;
    } else {
      EXPECT_EQ(reply.bytes, kTextOf.at(c.kind)) << c.line;
    }
  }
}

TEST(DemoReplies, MessagesAreShortAndSayItAllOnTheFirstLine) {
  for (const auto& [kind, text] : kTextOf) {
    EXPECT_GT(text.size(), 4u);
    EXPECT_LT(text.size(), 256u) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << text;
    const std::size_t first_end = text.find("\r\n");
    EXPECT_GT(first_end, 3u) << text;
    for (char c : text) {
      // Plain ASCII, no diacritics and no lone control bytes.
      EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n') << text;
    }
  }
  EXPECT_EQ(replies::kWrongPin, "Pogresan PIN!\r\n");
}

TEST(DemoReplies, LiveStatusNamesTimeAndConnections) {
  const Reply reply = ReplyTo("ALIVR");
  EXPECT_EQ(reply.kind, ReplyKind::kLiveStatus);
  EXPECT_EQ(reply.bytes, "Server radi: 01-12-2026 10:11:12, aktivnih konekcija: 3\r\n");
}

TEST(DemoReplies, ReportCountsOnePagePerMonth) {
  EXPECT_EQ(ReplyTo("IZVJ 2 15-11-2026 03-01-2027 1 ").pages, 3);
  EXPECT_EQ(ReplyTo("IZVJ 2 01-01-2026 31-12-2027 1 ").pages, 24);
  EXPECT_EQ(DescribeReply(ReplyTo("IZVJ 2 01-12-2026 01-12-2026 1 ")).rfind("PDF ", 0), 0u);
  EXPECT_EQ(DescribeReply(ReplyTo("IZVJ 2 01-12-2026 31-12-2026 0 ")), "Pogresan PIN!");
}

TEST(DemoAccounts, DefaultAccountIsCustomerTwoWithPinOne) {
  const Account* account = FindAccount("2");
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(account->pin, "1");
  EXPECT_GE(DemoAccounts().size(), 3u);
  EXPECT_EQ(FindAccount("2 "), nullptr);
  EXPECT_EQ(FindAccount("02"), nullptr);
  EXPECT_EQ(FindAccount(""), nullptr);
}

}  // namespace
}  // namespace vxt::demo
