#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Accounts.h"
#include "PdfWriter.h"
#include "Readings.h"
#include "ReportPdf.h"

namespace vxt::demo {
namespace {

std::size_t CountOf(const std::string& haystack, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t pos = haystack.find(needle); pos != std::string::npos;
       pos = haystack.find(needle, pos + needle.size())) {
    ++count;
  }
  return count;
}

// Checks what a reader relies on to find anything: the trailer's startxref points at the
// table, every table entry at its object's header, every stream's length at its endstream.
void ExpectConsistentStructure(const std::string& pdf) {
  ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
  ASSERT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
  const std::size_t startxref = pdf.rfind("startxref\n");
  ASSERT_NE(startxref, std::string::npos);
  const std::size_t xref = std::stoul(pdf.substr(startxref + 10));
  ASSERT_LT(xref, pdf.size());
  ASSERT_EQ(pdf.compare(xref, 7, "xref\n0 "), 0);
  const std::size_t count_start = xref + 7;
  const std::size_t count_end = pdf.find('\n', count_start);
  const std::size_t entries = std::stoul(pdf.substr(count_start, count_end - count_start));
  const std::size_t table = count_end + 1;
  ASSERT_EQ(pdf.compare(table, 20, "0000000000 65535 f\r\n"), 0);
  for (std::size_t number = 1; number < entries; ++number) {
    const std::string entry = pdf.substr(table + 20 * number, 20);
    ASSERT_EQ(entry.substr(10), " 00000 n\r\n") << number;
    const std::size_t offset = std::stoul(entry.substr(0, 10));
    const std::string header = std::to_string(number) + " 0 obj\n";
    EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << number;
  }
  EXPECT_EQ(pdf.compare(table + 20 * entries, 8, "trailer\n"), 0);
  EXPECT_NE(pdf.find("/Size " + std::to_string(entries) + " "), std::string::npos);

  std::size_t streams = 0;
  for (std::size_t pos = pdf.find("/Length "); pos != std::string::npos;
       pos = pdf.find("/Length ", pos + 1)) {
    const std::size_t length = std::stoul(pdf.substr(pos + 8));
    const std::size_t data = pdf.find(">>\nstream\n", pos) + 10;
    EXPECT_EQ(pdf.compare(data + length, 11, "\nendstream\n"), 0);
    ++streams;
  }
  EXPECT_EQ(streams, CountOf(pdf, "/Type /Page "));
}

std::size_t PageCount(const std::string& pdf) {
  return CountOf(pdf, "/Type /Page ");
}

bool ToolAvailable(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

const Account& DefaultAccount() {
  return *FindAccount("2");
}

TEST(DemoPdf, LiteralStringsEscapeDelimitersAndNonAscii) {
  EXPECT_EQ(PdfLiteral("Kupac 2"), "(Kupac 2)");
  EXPECT_EQ(PdfLiteral("a(b)c\\d"), "(a\\(b\\)c\\\\d)");
  EXPECT_EQ(PdfLiteral(std::string("\r\n\t\x8a\xff\0", 6)), "(\\015\\012\\011\\212\\377\\000)");
}

TEST(DemoPdf, TextWidthFollowsHelveticaMetrics) {
  EXPECT_DOUBLE_EQ(TextWidth("0123456789", 10), 55.6);
  EXPECT_DOUBLE_EQ(TextWidth("1.5", 10), 13.9);
  EXPECT_DOUBLE_EQ(TextWidth("", 10), 0);
}

TEST(DemoPdf, OnePagePerMonthWithAConsistentCrossReference) {
  struct Case {
    CalendarDate first, last;
    std::size_t pages;
  };
  const Case cases[] = {
      {{2026, 12, 1}, {2026, 12, 1}, 1},  {{2026, 12, 1}, {2026, 12, 31}, 1},
      {{2026, 11, 30}, {2026, 12, 1}, 2}, {{2024, 1, 15}, {2024, 3, 2}, 3},
      {{2025, 1, 1}, {2026, 12, 31}, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FormatDate(c.first) + " " + FormatDate(c.last));
    const std::string pdf = BuildReportPdf(DefaultAccount(), c.first, c.last);
    ExpectConsistentStructure(pdf);
    EXPECT_EQ(PageCount(pdf), c.pages);
    EXPECT_NE(pdf.find("/Count " + std::to_string(c.pages) + " "), std::string::npos);
    // Bounded: even the longest report stays well below a megabyte.
    EXPECT_LT(pdf.size(), 600000u);
  }
}

TEST(DemoPdf, ShortestReportIsStillTakenForADocument) {
  for (const Account& account : DemoAccounts()) {
    const std::string pdf = BuildReportPdf(account, {2026, 2, 28}, {2026, 2, 28});
    EXPECT_GT(pdf.size(), 1024u) << account.customer;
  }
}

TEST(DemoPdf, ReportNamesCustomerPeriodAndEveryDay) {
  const std::string pdf = BuildReportPdf(DefaultAccount(), {2026, 11, 29}, {2026, 12, 2});
  EXPECT_NE(pdf.find("(BRAXO Tarnwell podaci)"), std::string::npos);
  EXPECT_NE(pdf.find("(2 - Petar Petrovic)"), std::string::npos);
  EXPECT_NE(pdf.find("(29-11-2026 do 02-12-2026)"), std::string::npos);
  EXPECT_NE(pdf.find("(novembar 2026)"), std::string::npos);
  EXPECT_NE(pdf.find("(decembar 2026)"), std::string::npos);
  for (const char* day : {"(29-11-2026)", "(30-11-2026)", "(01-12-2026)", "(02-12-2026)"}) {
    EXPECT_EQ(CountOf(pdf, day), 1u) << day;
  }
  EXPECT_EQ(CountOf(pdf, "(28-11-2026)") + CountOf(pdf, "(03-12-2026)"), 0u);
  const DailyReading first = ReadingFor("2", MeterKind::kWater, {2026, 11, 29});
  EXPECT_NE(pdf.find(PdfLiteral(FormatUnits(first.register_units, ScaleOf(MeterKind::kWater)))),
            std::string::npos);
}

TEST(DemoPdf, NameWithPdfDelimitersIsEscaped) {
  const Account* account = FindAccount("305");
  ASSERT_NE(account, nullptr);
  const std::string pdf = BuildReportPdf(*account, {2026, 12, 1}, {2026, 12, 3});
  EXPECT_NE(pdf.find("(305 - Pekara \"Klas\" \\(pogon 2\\) \\\\ Sjever)"), std::string::npos);
  ExpectConsistentStructure(pdf);
}

TEST(DemoPdf, SameRequestGivesTheSameBytes) {
  EXPECT_EQ(BuildReportPdf(DefaultAccount(), {2026, 1, 1}, {2026, 3, 31}),
            BuildReportPdf(DefaultAccount(), {2026, 1, 1}, {2026, 3, 31}));
}

// A path for the shell, in single quotes (built by appending: GCC 12 warns falsely about
// "'" + std::string).
std::string Quoted(const std::filesystem::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(DemoPdf, QpdfAcceptsAndPopplerRendersEveryPage) {
  if (!ToolAvailable("qpdf --version") || !ToolAvailable("pdftoppm -v")) {
    GTEST_SKIP() << "qpdf or pdftoppm is not available here";
  }
  const Account* power = FindAccount("17");
  ASSERT_NE(power, nullptr);
  // A folder of its own, so parallel runs and other suites never share the files.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("vxt_demo_pdf_" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string pdf = (dir / "report.pdf").string();
  const std::string quoted = Quoted(pdf);
  WriteFile(pdf, BuildReportPdf(*power, {2024, 1, 20}, {2024, 4, 3}));

  const std::string check = Quoted(dir / "check.txt");
  EXPECT_EQ(std::system(("qpdf --check " + quoted + " >" + check + " 2>&1").c_str()), 0)
      << ReadFile(dir / "check.txt");
  const std::string pages = Quoted(dir / "pages.txt");
  ASSERT_EQ(std::system(("qpdf --show-npages " + quoted + " >" + pages).c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "pages.txt"), "4\n");

  const std::string prefix = Quoted(dir / "page");
  ASSERT_EQ(std::system(("pdftoppm -r 30 -png " + quoted + " " + prefix + " 2>&1").c_str()), 0);
  int rendered = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".png") {
      EXPECT_GT(std::filesystem::file_size(entry), 100u) << entry.path();
      ++rendered;
    }
  }
  EXPECT_EQ(rendered, 4);
  std::filesystem::remove_all(dir);
}

TEST(DemoReadings, RiseEveryDayAndRepeatForTheSameDay) {
  for (MeterKind meter : {MeterKind::kWater, MeterKind::kPower}) {
    const MeterScale scale = ScaleOf(meter);
    std::int64_t previous = CumulativeUnits("2", meter, {2023, 12, 31});
    for (std::int64_t n = DayNumber({2024, 1, 1}); n < DayNumber({2026, 1, 1}); ++n) {
      const CalendarDate day = DateFromDayNumber(n);
      const DailyReading reading = ReadingFor("2", meter, day);
      const std::int64_t cumulative = CumulativeUnits("2", meter, day);
      ASSERT_GT(cumulative, previous);
      ASSERT_EQ(reading.used_units, cumulative - previous);
      ASSERT_EQ(reading.register_units, cumulative % scale.register_modulus);
      previous = cumulative;
    }
  }
  EXPECT_EQ(CumulativeUnits("17", MeterKind::kPower, {2026, 5, 5}),
            CumulativeUnits("17", MeterKind::kPower, {2026, 5, 5}));
  EXPECT_NE(CumulativeUnits("2", MeterKind::kWater, {2026, 5, 5}),
            CumulativeUnits("305", MeterKind::kWater, {2026, 5, 5}));
}

TEST(DemoReadings, UnitsAreShownWithTheScalesDecimals) {
  EXPECT_EQ(FormatUnits(12345, ScaleOf(MeterKind::kWater)), "12.345");
  EXPECT_EQ(FormatUnits(7, ScaleOf(MeterKind::kWater)), "0.007");
  EXPECT_EQ(FormatUnits(95, ScaleOf(MeterKind::kPower)), "9.5");
  EXPECT_EQ(FormatUnits(-5, ScaleOf(MeterKind::kPower)), "-0.5");
  EXPECT_EQ(ScaleOf(MeterKind::kWater).unit, "m3");
}

}  // namespace
}  // namespace vxt::demo
