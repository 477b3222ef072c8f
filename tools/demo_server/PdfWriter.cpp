#include "PdfWriter.h"

#include <cmath>

namespace vxt::demo {

namespace {

// Helvetica advance widths (1/1000 em) for WinAnsi 32..126.
constexpr short kHelveticaWidths[95] = {
    278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // ' '../
    556,  556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,  // 0..?
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,  // @..O
    667,  778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,  // P.._
    333,  556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,  // `..o
    556,  556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};      // p..~

// Fixed two decimals without printf, so a changed C locale cannot put a comma into the stream.
std::string Number(double value) {
  const long long hundredths = std::llround(value * 100);
  const bool negative = hundredths < 0;
  const unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(hundredths)
                                                : static_cast<unsigned long long>(hundredths);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 100);
  const unsigned long long fraction = magnitude % 100;
  if (fraction != 0) {
    text += '.';
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
  return text;
}

std::string Offset10(std::size_t offset) {
  std::string digits = std::to_string(offset);
  return std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') + digits;
}

}  // namespace

std::string PdfLiteral(std::string_view text) {
  std::string out = "(";
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      out += '\\';
      out += static_cast<char>('0' + (byte >> 6));
      out += static_cast<char>('0' + ((byte >> 3) & 7));
      out += static_cast<char>('0' + (byte & 7));
    } else {
      out += c;
    }
  }
  out += ')';
  return out;
}

double TextWidth(std::string_view text, double font_size) {
  long units = 0;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    units += byte >= 32 && byte <= 126 ? kHelveticaWidths[byte - 32] : 556;
  }
  return static_cast<double>(units) * font_size / 1000.0;
}

void PageContent::Text(double x, double y, std::string_view text, double size, bool bold) {
  bytes_ += "BT /";
  bytes_ += bold ? "F2 " : "F1 ";
  bytes_ +=
      Number(size) + " Tf " + Number(x) + " " + Number(y) + " Td " + PdfLiteral(text) + " Tj ET\n";
}

void PageContent::TextRight(double x, double y, std::string_view text, double size, bool bold) {
  Text(x - TextWidth(text, size), y, text, size, bold);
}

void PageContent::Line(double x1, double y1, double x2, double y2, double width, double gray) {
  bytes_ += Number(gray) + " G " + Number(width) + " w " + Number(x1) + " " + Number(y1) + " m " +
            Number(x2) + " " + Number(y2) + " l S\n";
}

void PageContent::FillRect(double x, double y, double width, double height, double gray) {
  bytes_ += Number(gray) + " g " + Number(x) + " " + Number(y) + " " + Number(width) + " " +
            Number(height) + " re f 0 g\n";
}

// Objects: 1 catalog, 2 page tree, 3 and 4 the fonts, 5 the info dictionary, then for every
// page its page object and its content stream.
std::string PdfDocument::Finish(std::string_view title, std::string_view producer) const {
  const std::size_t object_count = 5 + 2 * pages_.size();
  std::vector<std::size_t> offsets(object_count + 1, 0);
  // The comment of high bytes marks the file as binary for transfer programs.
  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  auto begin_object = [&](std::size_t number) {
    offsets[number] = out.size();
    out += std::to_string(number) + " 0 obj\n";
  };
  auto page_object = [](std::size_t index) { return 6 + 2 * index; };

  begin_object(1);
  out += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
  begin_object(2);
  out += "<< /Type /Pages /Count " + std::to_string(pages_.size()) + " /Kids [";
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    if (i != 0) out += ' ';
    out += std::to_string(page_object(i));
    out += " 0 R";
  }
  out += "] >>\nendobj\n";
  begin_object(3);
  out +=
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>\n"
      "endobj\n";
  begin_object(4);
  out +=
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>"
      "\nendobj\n";
  begin_object(5);
  out += "<< /Title " + PdfLiteral(title) + " /Producer " + PdfLiteral(producer) + " /Creator " +
         PdfLiteral(producer) + " >>\nendobj\n";
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    begin_object(page_object(i));
    out += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(kPageWidth) + " " +
           Number(kPageHeight) + "] /Resources << /Font << /F1 3 0 R /F2 4 0 R >> >> /Contents " +
           std::to_string(page_object(i) + 1) + " 0 R >>\nendobj\n";
    begin_object(page_object(i) + 1);
    out += "<< /Length " + std::to_string(pages_[i].size()) + " >>\nstream\n";
    out += pages_[i];
    out += "\nendstream\nendobj\n";
  }

  const std::size_t xref_offset = out.size();
  // Every entry is exactly 20 bytes, its end of line the two bytes CR LF.
  out += "xref\n0 " + std::to_string(object_count + 1) + "\n0000000000 65535 f\r\n";
  for (std::size_t number = 1; number <= object_count; ++number) {
    out += Offset10(offsets[number]) + " 00000 n\r\n";
  }
  out += "trailer\n<< /Size " + std::to_string(object_count + 1) +
         " /Root 1 0 R /Info 5 0 R >>\nstartxref\n" + std::to_string(xref_offset) + "\n%%EOF\n";
  return out;
}

}  // namespace vxt::demo
