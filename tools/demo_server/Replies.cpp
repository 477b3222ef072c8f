#include "Replies.h"

#include "Accounts.h"
#include "ReportPdf.h"

namespace vxt::demo {

namespace {

Reply TextReply(ReplyKind kind, std::string_view text) {
  Reply reply;
  reply.kind = kind;
  reply.bytes.assign(text);
  return reply;
}

}  // namespace

std::string LiveStatusText(const LiveStatus& status) {
  return "Server radi: " + status.now +
         ", aktivnih konekcija: " + std::to_string(status.active_connections) + "\r\n";
}

Reply LiveStatusReply(const LiveStatus& status) {
  return TextReply(ReplyKind::kLiveStatus, LiveStatusText(status));
}

Reply MalformedReply() {
  return TextReply(ReplyKind::kMalformed, replies::kMalformed);
}

Reply ChooseReportReply(const Request& request) {
  switch (request.kind) {
    case RequestKind::kReport:
      break;
    case RequestKind::kBadDate:
      return TextReply(ReplyKind::kBadDate, replies::kBadDate);
    case RequestKind::kLiveStatus:
    case RequestKind::kMalformed:
      return MalformedReply();
  }
  const Account* account = FindAccount(request.customer);
  if (account == nullptr) return TextReply(ReplyKind::kUnknownCustomer, replies::kUnknownCustomer);
  if (request.pin.empty() || request.pin != account->pin) {
    return TextReply(ReplyKind::kWrongPin, replies::kWrongPin);
  }
  const int months = MonthsSpanned(request.first, request.last);
  if (months == 0) return TextReply(ReplyKind::kReversedPeriod, replies::kReversedPeriod);
  if (months > kMaxReportMonths) {
    return TextReply(ReplyKind::kPeriodTooLong, replies::kPeriodTooLong);
  }
  Reply reply;
  reply.kind = ReplyKind::kReport;
  reply.pages = months;
  reply.bytes = BuildReportPdf(*account, request.first, request.last);
  return reply;
}

std::string DescribeReply(const Reply& reply) {
  if (reply.kind == ReplyKind::kReport) {
    return "PDF " + std::to_string(reply.bytes.size()) + " bytes, " + std::to_string(reply.pages) +
           (reply.pages == 1 ? " page" : " pages");
  }
  const std::size_t end = reply.bytes.find("\r\n");
  return reply.bytes.substr(0, end);
}

}  // namespace vxt::demo
