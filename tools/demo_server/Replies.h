// What the server answers to a request, and the exact texts of its short messages.
#pragma once

#include <string>
#include <string_view>

#include "Request.h"

namespace vxt::demo {

// Longer periods are refused so that a report stays bounded (24 pages at most).
inline constexpr int kMaxReportMonths = 24;

// Every message is far below the 1024 bytes from which the client takes a reply for a document,
// and its first line, ended by CR LF, carries the whole message.
namespace replies {
inline constexpr std::string_view kWrongPin = "Pogresan PIN!\r\n";
inline constexpr std::string_view kUnknownCustomer = "Nepoznat kupac!\r\n";
inline constexpr std::string_view kMalformed =
    "Neispravan zahtjev!\r\nOcekuje se: IZVJ <kupac> <dd-mm-yyyy> <dd-mm-yyyy> <pin>\r\n";
inline constexpr std::string_view kBadDate =
    "Neispravan datum u zahtjevu!\r\nDatum se pise kao dd-mm-yyyy, npr. 01-12-2026.\r\n";
inline constexpr std::string_view kReversedPeriod =
    "Pogresan period: prvi dan je poslije zadnjeg!\r\n";
inline constexpr std::string_view kPeriodTooLong = "Period je predug: najvise 24 mjeseca!\r\n";
}  // namespace replies

enum class ReplyKind {
  kReport,
  kLiveStatus,
  kWrongPin,
  kUnknownCustomer,
  kMalformed,
  kBadDate,
  kReversedPeriod,
  kPeriodTooLong,
};

struct Reply {
  ReplyKind kind = ReplyKind::kMalformed;
  std::string bytes;
  int pages = 0;  // for a report
};

// What the live-status answer reports.
struct LiveStatus {
  std::string now;  // "dd-mm-yyyy hh:mm:ss"
  int active_connections = 0;
};

// "Server radi: <now>, aktivnih konekcija: <n>" and CR LF.
std::string LiveStatusText(const LiveStatus& status);

// Checks in this order: the line's form, the customer, the PIN (an empty PIN is a wrong PIN),
// the period's order, its length.
Reply ChooseReportReply(const Request& request);
Reply LiveStatusReply(const LiveStatus& status);
Reply MalformedReply();

// The live status is taken from status() only for an ALIVR line.
template <typename StatusSource>
Reply ChooseReply(const Request& request, StatusSource&& status) {
  if (request.kind == RequestKind::kLiveStatus) return LiveStatusReply(status());
  return ChooseReportReply(request);
}

// For the log: "PDF 12345 bytes, 3 pages" or the message's first line.
std::string DescribeReply(const Reply& reply);

}  // namespace vxt::demo
