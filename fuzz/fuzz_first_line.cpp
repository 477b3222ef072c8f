// The first line of a text reply: fed whole or in pieces of any size, the scanner must give the
// same line, and the line never holds LF, CR or Ctrl-Z.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "report/ReportExchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the piece size, the rest is the reply.
  const size_t piece = 1 + data[0] % 17;
  const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string whole = vxt::FirstTextLine(reply);
  if (whole.find_first_of("\r\n\x1a") != std::string::npos) std::abort();

  vxt::TFirstLineScanner scanner;
  for (size_t at = 0; at < reply.size() && !scanner.Complete(); at += piece) {
    const size_t n = reply.size() - at < piece ? reply.size() - at : piece;
    scanner.Feed(reply.data() + at, n);
  }
  if (scanner.Line() != whole) std::abort();
  return 0;
}
