#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sql/result.h"
#include "testing/sql_tables.h"

namespace sql {

using namespace device;

namespace {

using sqltest::RunSql;

std::string Report(const sqltest::Outcome& out, char mode, const std::string& statement) {
  CStringReportSink sink;
  std::vector<std::string> names = out.names;
  out.table.Write(mode, sink, names, statement);
  return sink.Text();
}

// Byte-exact comparison with a file under testdata/. TOVARIN_UPDATE_GOLDEN=1 rewrites the
// file instead (review the difference before committing it).
void ExpectGolden(const std::string& file, const std::string& actual) {
  const std::string path = std::string(SQL_GOLDEN_DIR) + "/" + file;
  if (std::getenv("TOVARIN_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << path;
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(actual, expected.str()) << file;
}

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    device_.AddTrack({.artist = "AC&DC", .title = "<Intro>", .comment = "loud, fast", .number = 1, .length = 120});
    device_.AddTrack({.artist = "Band", .title = "12\" Mix", .comment = "two\nlines", .number = 2, .length = 200});
    device_.AddTrack({.artist = "Long", .title = "Epic", .number = 3, .length = 900});
  }
  MemoryDevice device_;
};

constexpr char kStatement[] =
    "SELECT artist, title, comment, tracknum AS track FROM audio WHERE length < 300 ORDER BY artist";

TEST_F(ReportTest, FourFormatsMatchTheirGoldenFiles) {
  auto out = RunSql(device_, kStatement);
  ExpectGolden("report_comma.txt", Report(*out, 'c', kStatement));
  ExpectGolden("report_tab.txt", Report(*out, 't', kStatement));
  ExpectGolden("report.html", Report(*out, 'h', kStatement));
  ExpectGolden("report.xml", Report(*out, 'x', kStatement));
}

TEST_F(ReportTest, NoMatchesAndBadMode) {
  const std::string none = "SELECT artist FROM audio WHERE artist = 'nobody'";
  auto empty = RunSql(device_, none);
  for (char mode : {'c', 't', 'h', 'q'}) EXPECT_EQ(Report(*empty, mode, none), "no matches.") << mode;
  // The XML report stays a document, without items.
  EXPECT_EQ(Report(*empty, 'x', none), "<table>\n<credit>" + std::string(CResultTable::kCreditText) +
                                           "</credit><query>" + none + "</query></table>\n");
  auto some = RunSql(device_, "SELECT artist FROM audio");
  EXPECT_EQ(Report(*some, 'q', "SELECT artist FROM audio"), "bad mode.");
  EXPECT_EQ(Report(*some, 'C', "SELECT artist FROM audio"), "bad mode.");
}

TEST_F(ReportTest, OneColumnHtmlSpansOneColumn) {
  const std::string sql = "SELECT artist FROM audio WHERE tracknum = 3";
  EXPECT_EQ(Report(*RunSql(device_, sql), 'h', sql),
            "<!-- Replace this _OMBRIXHTMLSTYLEBLOCK_ with your own styles -->\n"
            "<style>TD.omsqlcell { font-family: tahoma, verdana, arial; font-size: 10pt; }</style>\n"
            "<!-- _ENDOMBRIXHTMLSTYLEBLOCK_ -->\n"
            "<meta charset=\"utf-8\">\n"
            "<table class=omsqltable>\n"
            "<tr class=ojbsqlrow><td class=omsqlcell colspan=1>" +
                std::string(CResultTable::kCreditText) +
                "</td></tr>"
                "<tr class=ojbsqlrow><td class=omsqlcell colspan=1>" +
                sql +
                "</td></tr>"
                "<tr class=omsqlrow><td class=omsqlcell>artist</td></tr>\n"
                "<tr class=omsqlrow><td class=omsqlcell>Long</td></tr>\n"
                "</table>\n");
}

TEST_F(ReportTest, SelectAllTakesTheFirstRowsNames) {
  const std::string sql = "SELECT * FROM audio WHERE tracknum = 3";
  auto out = RunSql(device_, sql);
  CStringReportSink sink;
  std::vector<std::string> names;
  out->table.Write('t', sink, names, sql);
  EXPECT_EQ(names, (std::vector<std::string>{"codec", "title", "composer", "size", "length", "artist", "album",
                                             "id", "bitrate", "comment", "year", "genre", "tracknum"}));
  EXPECT_NE(sink.Text().find("\n\ncodec\ttitle\tcomposer\tsize\t"), std::string::npos);
}

TEST_F(ReportTest, RepeatedNameWritesTheSameValueTwice) {
  const std::string sql = "SELECT artist AS x, title AS x FROM audio WHERE tracknum = 3";
  EXPECT_EQ(Report(*RunSql(device_, sql), 'c', sql),
            std::string(CResultTable::kCreditText) + "\n\n" + sql + "\n\nx,x,\nEpic,Epic,\n");
}

TEST_F(ReportTest, XmlElementNamesAreValidNames) {
  const std::string sql = "SELECT length * 2, '9 lives', tracknum AS n FROM audio WHERE tracknum = 3";
  EXPECT_EQ(Report(*RunSql(device_, sql), 'x', sql),
            "<table>\n<credit>" + std::string(CResultTable::kCreditText) + "</credit><query>" + sql +
                "</query><item><length___2>1800</length___2><_9_lives>9 lives</_9_lives><n>3</n></item>\n"
                "</table>\n");
}

// Whether an XML parser takes the text as a well-formed document.
bool WellFormedXml(const std::string& text) {
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "report.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  xmlFreeDoc(doc);
  return true;
}

// Tags hold whatever bytes files and players gave them: the XML report is a document
// all the same, with blanks for the control bytes XML cannot carry and U+FFFD for bytes
// that are not UTF-8; line breaks and tabs stay.
TEST_F(ReportTest, XmlStaysWellFormedWhateverTheFieldsHold) {
  MemoryDevice device;
  device.AddTrack({.artist = std::string("Bell\x07Ring\x1b[0m"), .title = "a\tb\nc", .comment = "Caf\xE9", .number = 1});
  device.AddTrack({.artist = std::string("nul\0byte", 8), .title = "\xEF\xBF\xBE", .comment = "\xC3", .number = 2});
  const std::string sql = "SELECT tracknum, artist, title, comment FROM audio ORDER BY tracknum";
  const std::string xml = Report(*RunSql(device, sql), 'x', sql);
  EXPECT_TRUE(WellFormedXml(xml)) << xml;
  EXPECT_NE(xml.find("<artist>Bell Ring [0m</artist><title>a\tb\nc</title><comment>Caf\xEF\xBF\xBD</comment>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<title>\xEF\xBF\xBD</title><comment>\xEF\xBF\xBD</comment>"), std::string::npos) << xml;
  // A statement with a control byte of its own, and a result without rows.
  const std::string odd = "SELECT artist FROM audio WHERE artist = '\x01'";
  EXPECT_TRUE(WellFormedXml(Report(*RunSql(device, odd), 'x', odd)));
}

}  // namespace

}  // namespace sql
