#include <gtest/gtest.h>

#include <string>

#include "Request.h"

namespace vxt::demo {
namespace {

// Lines that are report requests, and the fields they give. Nothing is trimmed: each field is
// what stands between two single spaces.
struct ReportLine {
  const char* why;
  std::string line;
  std::string customer;
  std::string pin;
  CalendarDate first;
  CalendarDate last;
};

const ReportLine kReportLines[] = {
    {"as the client sends it", "IZVJ 2 01-12-2026 31-12-2026 1 ", "2", "1", {2026, 12, 1},
     {2026, 12, 31}},
    {"an empty PIN is the field between the last two spaces", "IZVJ 2 01-12-2026 31-12-2026  ",
     "2", "", {2026, 12, 1}, {2026, 12, 31}},
    {"the final space may be missing", "IZVJ 17 01-01-2024 29-02-2024 4321", "17", "4321",
     {2024, 1, 1}, {2024, 2, 29}},
    {"an empty customer is a field like any other (and no account has it)",
     "IZVJ  01-12-2026 31-12-2026 1 ", "", "1", {2026, 12, 1}, {2026, 12, 31}},
    {"a NUL is just another byte of the customer (which no account matches)",
     std::string("IZVJ 2\0 01-12-2026 31-12-2026 1 ", 32), std::string("2\0", 2), "1",
     {2026, 12, 1}, {2026, 12, 31}},
    {"a leap day", "IZVJ 2 01-02-2024 29-02-2024 1 ", "2", "1", {2024, 2, 1}, {2024, 2, 29}},
};

TEST(DemoRequest, ReportLinesGiveTheirFields) {
  for (const ReportLine& row : kReportLines) {
    SCOPED_TRACE(row.why);
    const Request request = ParseRequest(row.line);
    ASSERT_EQ(request.kind, RequestKind::kReport);
    EXPECT_EQ(request.customer, row.customer);
    EXPECT_EQ(request.pin, row.pin);
    EXPECT_EQ(request.first, row.first);
    EXPECT_EQ(request.last, row.last);
  }
}

TEST(DemoRequest, WrongWordsAndCountsAreMalformed) {
  for (const char* line :
       {"", " ", "IZVJ", "IZVJ ", "IZVJ 2 01-12-2026 31-12-2026", "izvj 2 01-12-2026 31-12-2026 1 ",
        "IZVJX 2 01-12-2026 31-12-2026 1 ", "IZVJ\t2\t01-12-2026\t31-12-2026\t1\t",
        "GET / HTTP/1.1", "ALIVR ", "alivr", "ALIVR 1", "\x01\x02\xFF",
        // A PIN of spaces or a customer with a space makes too many fields.
        "IZVJ 2 01-12-2026 31-12-2026 1  ", "IZVJ 2 3 01-12-2026 31-12-2026 1 ",
        "IZVJ  2 01-12-2026 31-12-2026 1 ", " IZVJ 2 01-12-2026 31-12-2026 1 "}) {
    EXPECT_EQ(ParseRequest(line).kind, RequestKind::kMalformed) << line;
  }
}

TEST(DemoRequest, BadDatesAreToldApartFromMalformedLines) {
  for (const char* line : {"IZVJ 2 31-04-2026 30-05-2026 1 ", "IZVJ 2 01-12-2026 29-02-2027 1 ",
                           "IZVJ 2 2026-12-01 31-12-2026 1 "}) {
    EXPECT_EQ(ParseRequest(line).kind, RequestKind::kBadDate) << line;
  }
}

TEST(DemoRequest, LiveStatusIsTheBareWord) {
  EXPECT_EQ(ParseRequest("ALIVR").kind, RequestKind::kLiveStatus);
}

TEST(DemoLineAssembler, StripsCrLfOrLfAndIgnoresWhatFollows) {
  LineAssembler crlf;
  EXPECT_EQ(crlf.Feed("ALIVR\r\nIZVJ more"), LineAssembler::State::kComplete);
  EXPECT_EQ(crlf.Line(), "ALIVR");
  EXPECT_EQ(crlf.Feed("anything"), LineAssembler::State::kComplete);
  EXPECT_EQ(crlf.Line(), "ALIVR");

  LineAssembler lf;
  EXPECT_EQ(lf.Feed("IZVJ 2 01-12-2026 31-12-2026 1 \n"), LineAssembler::State::kComplete);
  EXPECT_EQ(lf.Line(), "IZVJ 2 01-12-2026 31-12-2026 1 ");

  // Only one CR before the LF belongs to the terminator; a CR elsewhere stays.
  LineAssembler two_cr;
  two_cr.Feed("A\rB\r\r\n");
  EXPECT_EQ(two_cr.Line(), "A\rB\r");
}

TEST(DemoLineAssembler, AssemblesALineFromSmallPieces) {
  LineAssembler assembler;
  const std::string line = "IZVJ 2 01-12-2026 31-12-2026  \r\n";
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    ASSERT_EQ(assembler.Feed(line.substr(i, 1)), LineAssembler::State::kNeedMore) << i;
  }
  EXPECT_EQ(assembler.Feed("\n"), LineAssembler::State::kComplete);
  EXPECT_EQ(assembler.Line(), "IZVJ 2 01-12-2026 31-12-2026  ");
  EXPECT_EQ(assembler.ReceivedBytes(), line.size());
}

TEST(DemoLineAssembler, LimitCountsTheLineWithoutItsTerminator) {
  const std::string longest(kMaxRequestLine, 'x');
  LineAssembler with_crlf;
  with_crlf.Feed(longest);
  EXPECT_EQ(with_crlf.Feed("\r"), LineAssembler::State::kNeedMore);
  EXPECT_EQ(with_crlf.Feed("\n"), LineAssembler::State::kComplete);
  EXPECT_EQ(with_crlf.Line(), longest);

  LineAssembler with_lf;
  EXPECT_EQ(with_lf.Feed(longest + "\n"), LineAssembler::State::kComplete);

  LineAssembler one_more;
  EXPECT_EQ(one_more.Feed(longest + "x"), LineAssembler::State::kOverlong);
  LineAssembler one_more_terminated;
  EXPECT_EQ(one_more_terminated.Feed(longest + "x\r\n"), LineAssembler::State::kOverlong);
  // A CR that turns out not to end the line is one byte too many.
  LineAssembler cr_then_text;
  cr_then_text.Feed(longest + "\r");
  EXPECT_EQ(cr_then_text.Feed("y"), LineAssembler::State::kOverlong);
  EXPECT_EQ(cr_then_text.Feed("\n"), LineAssembler::State::kOverlong);
}

TEST(DemoLineAssembler, AStreamEndingWithoutLfKeepsWhatArrived) {
  LineAssembler assembler;
  EXPECT_EQ(assembler.Feed("ALIVR\r"), LineAssembler::State::kNeedMore);
  EXPECT_EQ(assembler.Line(), "ALIVR");
}

TEST(DemoLoggableLine, HidesThePinAndKeepsTheShape) {
  EXPECT_EQ(LoggableLine("IZVJ 2 01-12-2026 31-12-2026 1 "), "IZVJ 2 01-12-2026 31-12-2026 **** ");
  EXPECT_EQ(LoggableLine("IZVJ 2 01-12-2026 31-12-2026 secret"),
            "IZVJ 2 01-12-2026 31-12-2026 ****");
  EXPECT_EQ(LoggableLine("IZVJ 2 01-12-2026 31-12-2026  "), "IZVJ 2 01-12-2026 31-12-2026  ");
  EXPECT_EQ(LoggableLine("IZVJ 2 01-12-2026 31-12-2026 12 34 "),
            "IZVJ 2 01-12-2026 31-12-2026 **** ****");
  EXPECT_EQ(LoggableLine("ALIVR"), "ALIVR");
}

TEST(DemoLoggableLine, EscapesControlBytesAndCutsLongLines) {
  EXPECT_EQ(LoggableLine(std::string("A\0B\r\\\xE9", 6)), "A\\x00B\\x0D\\x5C\\xE9");
  const std::string shown = LoggableLine(std::string(5000, 'z'));
  EXPECT_LT(shown.size(), 200u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "...");
}

}  // namespace
}  // namespace vxt::demo
