// The one request line a client sends: how it is cut from the byte stream and what it says.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Dates.h"

namespace vxt::demo {

// The longest request line accepted, counted without its CR LF or LF.
inline constexpr std::size_t kMaxRequestLine = 1024;

// Collects received bytes until the first LF. Bytes after the LF are ignored: one request per
// connection.
class LineAssembler {
 public:
  enum class State { kNeedMore, kComplete, kOverlong };

  explicit LineAssembler(std::size_t max_line = kMaxRequestLine) : max_line_(max_line) {}

  State Feed(std::string_view bytes);
  State state() const { return state_; }
  // The line without its LF and without one CR just before it; for a stream that ended without
  // an LF, what arrived so far (same CR rule), so that a hand-typed request still gets an answer.
  std::string Line() const;
  std::size_t ReceivedBytes() const { return received_; }

 private:
  std::size_t max_line_;
  std::string line_;
  std::size_t received_ = 0;
  State state_ = State::kNeedMore;
};

enum class RequestKind {
  kReport,      // IZVJ with five well-formed fields
  kLiveStatus,  // ALIVR
  kMalformed,   // unknown word, wrong number of fields, empty line
  kBadDate,     // IZVJ with the right fields but a date that is no dd-mm-yyyy day
};

struct Request {
  RequestKind kind = RequestKind::kMalformed;
  std::string customer;
  std::string pin;
  CalendarDate first;
  CalendarDate last;
};

// Splits at single spaces, so an empty PIN is the empty field between the last two spaces of
// "IZVJ 2 01-12-2026 31-12-2026  ". The client ends the line with a space; a line without that
// final space is accepted too (typed by hand into nc), but nothing else is trimmed.
Request ParseRequest(std::string_view line);

// The line as the log shows it: the PIN field of an IZVJ line (and anything after it) replaced
// by "****" (an empty PIN stays empty so the two spaces remain visible), bytes outside printable
// ASCII as \xNN, cut to a readable length.
std::string LoggableLine(std::string_view line);

}  // namespace vxt::demo
