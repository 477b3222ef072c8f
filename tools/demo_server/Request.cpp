#include "Request.h"

#include <vector>

namespace vxt::demo {

namespace {

constexpr std::string_view kReportWord = "IZVJ";
constexpr std::string_view kLiveStatusWord = "ALIVR";
constexpr std::size_t kLoggedLineLimit = 160;

std::vector<std::string_view> SplitAtSpaces(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t space = line.find(' ', start);
    if (space == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, space - start));
    start = space + 1;
  }
}

std::string_view StripOneCr(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

}  // namespace

LineAssembler::State LineAssembler::Feed(std::string_view bytes) {
  if (state_ != State::kNeedMore) return state_;
  received_ += bytes.size();
  const std::size_t lf = bytes.find('\n');
  line_.append(lf == std::string_view::npos ? bytes : bytes.substr(0, lf));
  // One byte of slack for a CR that may turn out to be the terminator's first half.
  const bool cr_pending = line_.size() == max_line_ + 1 && line_.back() == '\r';
  if (lf != std::string_view::npos) {
    state_ = StripOneCr(line_).size() > max_line_ ? State::kOverlong : State::kComplete;
  } else if (line_.size() > max_line_ && !cr_pending) {
    state_ = State::kOverlong;
  }
  if (state_ == State::kOverlong) line_.clear();
  return state_;
}

std::string LineAssembler::Line() const {
  return std::string(StripOneCr(line_));
}

Request ParseRequest(std::string_view line) {
  Request request;
  std::vector<std::string_view> fields = SplitAtSpaces(line);
  if (fields.size() == 1 && fields[0] == kLiveStatusWord) {
    request.kind = RequestKind::kLiveStatus;
    return request;
  }
  if (fields[0] != kReportWord) return request;
  if (fields.size() == 6 && fields[5].empty()) fields.pop_back();
  if (fields.size() != 5) return request;
  request.customer = std::string(fields[1]);
  request.pin = std::string(fields[4]);
  const std::optional<CalendarDate> first = ParseDate(fields[2]);
  const std::optional<CalendarDate> last = ParseDate(fields[3]);
  if (!first || !last) {
    request.kind = RequestKind::kBadDate;
    return request;
  }
  request.first = *first;
  request.last = *last;
  request.kind = RequestKind::kReport;
  return request;
}

std::string LoggableLine(std::string_view line) {
  std::string masked;
  if (line.substr(0, kReportWord.size() + 1) == "IZVJ ") {
    // The PIN starts after the fourth space; everything from there is hidden, apart from the
    // spaces that show the field's shape.
    std::size_t pos = 0;
    int spaces = 0;
    while (spaces < 4 && pos < line.size()) {
      if (line[pos++] == ' ') ++spaces;
    }
    masked.assign(line.substr(0, pos));
    if (spaces == 4) {
      const std::string_view rest = line.substr(pos);
      const std::size_t end = rest.find(' ');
      const std::string_view pin = rest.substr(0, end);
      if (!pin.empty()) masked += "****";
      if (end != std::string_view::npos) {
        // Keep the trailing space(s) visible, hide anything else that follows.
        const std::string_view tail = rest.substr(end);
        masked += tail.find_first_not_of(' ') == std::string_view::npos ? std::string(tail)
                                                                        : std::string(" ****");
      }
    }
  } else {
    masked.assign(line);
  }
  std::string shown;
  for (char c : masked) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (shown.size() >= kLoggedLineLimit) {
      shown += "...";
      break;
    }
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      shown += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0x0F];
    }
  }
  return shown;
}

}  // namespace vxt::demo
