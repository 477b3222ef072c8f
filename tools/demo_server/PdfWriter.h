// A minimal PDF 1.4 writer: uncompressed A4 pages that use the standard Type1 fonts Helvetica
// (/F1) and Helvetica-Bold (/F2) with WinAnsiEncoding, so no font is embedded and every viewer
// has the metrics. Output is deterministic: the same pages give the same bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vxt::demo {

inline constexpr double kPageWidth = 595;  // A4 in points
inline constexpr double kPageHeight = 842;

// A PDF literal string, parentheses included: "(", ")" and "\" escaped with a backslash, and
// every byte outside printable ASCII as a three-figure octal escape, so the content stream stays
// 7-bit text whatever the WinAnsi text holds.
std::string PdfLiteral(std::string_view text);

// Width of WinAnsi text in points in Helvetica (close enough for Helvetica-Bold's figures, which
// are the same); used to right-align numbers.
double TextWidth(std::string_view text, double font_size);

// Builds one page's content stream.
class PageContent {
 public:
  void Text(double x, double y, std::string_view text, double size, bool bold = false);
  // Text whose right end lies at x.
  void TextRight(double x, double y, std::string_view text, double size, bool bold = false);
  void Line(double x1, double y1, double x2, double y2, double width, double gray = 0);
  void FillRect(double x, double y, double width, double height, double gray);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class PdfDocument {
 public:
  void AddPage(const PageContent& page) { pages_.push_back(page.Bytes()); }
  std::size_t PageCount() const { return pages_.size(); }
  // The whole file: header, catalog, page tree, fonts, info, pages, cross-reference table with
  // the byte offset of every object, trailer.
  std::string Finish(std::string_view title, std::string_view producer) const;

 private:
  std::vector<std::string> pages_;
};

}  // namespace vxt::demo
