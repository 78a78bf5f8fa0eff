// The search dialogs, the contact and note editors and the SQL report page: what they
// show, what they hand back, and the reports the page writes and opens.
#include <filesystem>

#include "common/folders.h"
#include "common/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/property_sheet.h"
#include "tools/item_editors.h"
#include "tools/search_dialogs.h"
#include "tools/sql_gen_dlg.h"
#include "testing/tools.h"

using namespace device;

namespace tools {
namespace {

using platform::DialogDriver;
using platform::IDCANCEL;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();

class ToolDialogsTest : public toolstest::ToolsTest {};

TEST_F(ToolDialogsTest, SearchDialogsHandBackTheirTextAndShowTheProductsFields) {
  CSearchSimpleDlg simple;
  host_.ExpectDialog(CSearchSimpleDlg::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Simple Search");
    EXPECT_EQ(d.Text(CSearchSimpleDlg::kTextId), "");
    d.Type(CSearchSimpleDlg::kTextId, "it's R&B").Ok();
  });
  EXPECT_EQ(simple.DoModal(), IDOK);
  EXPECT_EQ(simple.text, "it's R&B");

  for (int variant : {1, 4, 7}) {
    SCOPED_TRACE(variant);
    g_ProductIdentity.variantCode = variant;
    CSearchDlg advanced;
    advanced.condition = "year > 1990";
    host_.ExpectDialog(CSearchDlg::kTemplateId, [&](DialogDriver& d) {
      EXPECT_EQ(d.Caption(), "Advanced Search");
      EXPECT_EQ(d.Text(CSearchDlg::kConditionId), "year > 1990");
      EXPECT_EQ(d.Visible(CSearchDlg::kMoreFieldsId), variant == 4);
      EXPECT_EQ(d.Text(CSearchDlg::kMoreFieldsId), "composer, rating, playcount");
      d.Type(CSearchDlg::kConditionId, "genre='rock'").Cancel();
    });
    EXPECT_EQ(advanced.DoModal(), IDCANCEL);
    EXPECT_EQ(advanced.condition, "year > 1990");  // Cancel hands back nothing
  }
}

TEST_F(ToolDialogsTest, TheContactEditorWritesItsBoxesBackAndKeepsTheHiddenFields) {
  ContactRecord record;
  record.Clear();
  for (int f = 0; f < ContactRecord::kFieldCount; ++f) record.field[f].Set("field " + std::to_string(f));
  ContactRecord unchanged = record;

  // Confirmed without changes: written back as it was, hidden fields (2, 5, 6, 12, 13)
  // included.
  {
    EditContactDialog dialog(&record);
    host_.ExpectDialog(EditContactDialog::kTemplateId, [](DialogDriver& d) {
      EXPECT_EQ(d.Caption(), "Edit Contact");
      for (const auto& box : EditContactDialog::kBoxes) {
        EXPECT_EQ(d.Text(box.id), "field " + std::to_string(box.field)) << box.id;
      }
      d.Ok();
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(std::memcmp(&record, &unchanged, sizeof record), 0);
  }
  // Each box lands in its own field; a text past 260 bytes is cut there.
  {
    EditContactDialog dialog(&record);
    host_.ExpectDialog(EditContactDialog::kTemplateId, [](DialogDriver& d) {
      d.Type(1217, "Mara").Type(1218, "Quill").Type(1214, "mara@example.org").Type(1213, "https://example.org");
      d.Type(1216, std::string(300, 'n')).Type(1212, "+1 555 0100").Ok();
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(record.field[kContactFirstName].Str(), "Mara");
    EXPECT_EQ(record.field[kContactLastName].Str(), "Quill");
    EXPECT_EQ(record.field[kContactEmail].Str(), "mara@example.org");
    EXPECT_EQ(record.field[kContactWebAddress].Str(), "https://example.org");
    EXPECT_EQ(record.field[kContactWorkFax].Str(), "+1 555 0100");
    EXPECT_EQ(record.field[kContactNote].Str(), std::string(260, 'n'));
    EXPECT_EQ(record.field[kContactNickname].Str(), "field 2");
    EXPECT_EQ(record.field[kContactHomeFax].Str(), "field 23");
  }
  // Cancel leaves the record alone.
  const ContactRecord before = record;
  EditContactDialog dialog(&record);
  host_.ExpectDialog(EditContactDialog::kTemplateId, [](DialogDriver& d) { d.Type(1217, "Other").Cancel(); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_F(ToolDialogsTest, TheNoteEditorKeepsEveryLineAndSetsNoLimit) {
  EditNoteDialog dialog;
  dialog.text = "first\nsecond";
  const std::string longText(10000, 'x');
  host_.ExpectDialog(EditNoteDialog::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Edit Note");
    EXPECT_EQ(d.Text(EditNoteDialog::kTextId), "first\nsecond");
    d.Type(EditNoteDialog::kTextId, "one\ntwo\n" + longText).Ok();
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.text, "one\ntwo\n" + longText);
}

// The report page in a sheet of its own, as the logs and reports sheet holds it.
class SqlPageTest : public toolstest::ToolsTest {
 protected:
  void SetUp() override {
    ToolsTest::SetUp();
    tracks_ = toolstest::SeedTracks(device_);
  }
  std::string Report(const std::string& file) { return root_ + "/tmp/$Ombrix Jukebox$/reports/" + file; }
  std::string Read(const std::string& file) { return ReadFileBytes(platform::FromPosixPath(Report(file))).value_or("(none)"); }
  // Runs the page in a sheet; the script acts on the page.
  void RunPage(const std::function<void(DialogDriver&)>& script) {
    CSQLGenDlg page(&device_);
    platform::PropertySheet sheet("Logs and Reports");
    sheet.AddPage(&page);
    host_.ExpectDialog("Logs and Reports", [&](DialogDriver& d) {
      DialogDriver p = d.Page();
      script(p);
      d.Cancel();
    });
    sheet.DoModal();
  }

  MemoryDevice device_;
  toolstest::Tracks tracks_;
};

TEST_F(SqlPageTest, EachFormatWritesItsFileAndOpensIt) {
  const struct {
    const char* format;
    const char* file;
    const char* marker;  // a piece only that format has
  } kCases[] = {
      {"Comma-Separated (txt)", "sqlout.txt", "Mirror's Edge,R&B,"},
      {"Tab-Delimited (txt)", "sqlout.txt", "Mirror's Edge\tR&B"},
      {"HTML Table (html)", "sqlout.html", "<td class=omsqlcell>R&amp;B</td></tr>"},
      {"XML Document (xml)", "sqlout.xml", "<genre>R&amp;B</genre>"},
  };
  const std::string query = "SELECT title, genre FROM audio WHERE artist = 'Cyra'";
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.format);
    platform::ShellOpenRecording opened;
    RunPage([&](DialogDriver& p) {
      p.Type(CSQLGenDlg::kQueryId, query).Select(CSQLGenDlg::kFormatId, c.format).Click(CSQLGenDlg::kGenerateId);
    });
    const std::string report = Read(c.file);
    EXPECT_NE(report.find(c.marker), std::string::npos) << report;
    EXPECT_EQ(report.find("Harbour"), std::string::npos);
    ASSERT_EQ(opened.calls().size(), 1u);
    EXPECT_EQ(opened.calls()[0].target, Report(c.file));
    std::string stored;
    ReadSettingString("SQL_LastQuery", stored);
    EXPECT_EQ(stored, query);
  }
  // The tab report overwrote the comma report of the same name.
  EXPECT_EQ(Read("sqlout.txt").find("Mirror's Edge,"), std::string::npos);
}

TEST_F(SqlPageTest, ItOpensWithTheLastQueryAndHtmlAndTheCannedListSwitchesToHtml) {
  Settings().SetString("SQL_LastQuery", "SELECT id FROM data");
  platform::ShellOpenRecording opened;
  RunPage([&](DialogDriver& p) {
    EXPECT_EQ(p.Text(CSQLGenDlg::kQueryId), "SELECT id FROM data");
    EXPECT_EQ(p.Items(CSQLGenDlg::kFormatId),
              (std::vector<std::string>{"Comma-Separated (txt)", "Tab-Delimited (txt)", "HTML Table (html)",
                                        "XML Document (xml)"}));
    EXPECT_EQ(p.Text(CSQLGenDlg::kFormatId), "HTML Table (html)");
    p.Select(CSQLGenDlg::kFormatId, "XML Document (xml)").Click(CSQLGenDlg::kDefaultTracklistId);
    EXPECT_EQ(p.Text(CSQLGenDlg::kQueryId), CSQLGenDlg::DefaultTracklistQuery(1));
    EXPECT_EQ(p.Text(CSQLGenDlg::kFormatId), "HTML Table (html)");
  });
  const std::string report = Read("sqlout.html");
  // Every track, in artist, album and track order.
  const std::size_t harbour = report.find("Harbour"), longRoad = report.find("Long Road"), neon = report.find("Neon Rain");
  ASSERT_NE(neon, std::string::npos) << report;
  EXPECT_LT(harbour, longRoad);
  EXPECT_LT(longRoad, neon);
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_NE(CSQLGenDlg::DefaultTracklistQuery(4).find("composer, rating, playcount"), std::string::npos);
  EXPECT_EQ(CSQLGenDlg::DefaultTracklistQuery(7).find("composer"), std::string::npos);
}

// Failures keep the earlier report as it was, open nothing, and keep the query that
// failed.
TEST_F(SqlPageTest, FailuresAreShownAndTheEarlierReportStays) {
  const struct {
    const char* query;
    const char* message;
  } kCases[] = {
      {"DELETE FROM audio", "Only SELECT statements are supported in this version."},
      {"SELECT id FROM tracks", "The SQL engine encountered a problem:\n\nNo such table."},
      {"SELECT nosuch FROM audio", "The SQL engine encountered a problem:\n\nNo such field."},
      {"SELECT id FROM audio WHERE (", "Could not perform query."},
  };
  std::filesystem::create_directories(Report(""));
  ASSERT_TRUE(ReplaceFileBytes(platform::FromPosixPath(Report("sqlout.html")), "an old report"));
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.query);
    platform::ShellOpenRecording opened;
    RunPage([&](DialogDriver& p) {
      p.Type(CSQLGenDlg::kQueryId, c.query);
      host_.ExpectNextMessageBox(IDOK, c.message);
      p.Click(CSQLGenDlg::kGenerateId);
    });
    EXPECT_EQ(Read("sqlout.html"), "an old report");
    EXPECT_TRUE(opened.calls().empty());
    std::string stored;
    ReadSettingString("SQL_LastQuery", stored);
    EXPECT_EQ(stored, c.query);
  }
  // The player fails while the rows are read.
  device_.FailWithError(DeviceOp::GetTrackInfo, platform::E_FAIL, "Memory Device", "The player went away.");
  RunPage([&](DialogDriver& p) {
    p.Type(CSQLGenDlg::kQueryId, "SELECT title FROM audio");
    host_.ExpectNextMessageBox(IDOK, "Could not perform query.");
    p.Click(CSQLGenDlg::kGenerateId);
  });
  EXPECT_EQ(Read("sqlout.html"), "an old report");
}

// An empty result is a report all the same; in XML a document without items, never the
// words "no matches." that no XML reader takes.
TEST_F(SqlPageTest, AQueryThatMatchesNothingStillWritesAndOpensItsReport) {
  const std::string query = "SELECT id FROM audio WHERE year = 1066";
  for (const char* format : {"HTML Table (html)", "XML Document (xml)"}) {
    SCOPED_TRACE(format);
    platform::ShellOpenRecording opened;
    RunPage([&](DialogDriver& p) {
      p.Type(CSQLGenDlg::kQueryId, query).Select(CSQLGenDlg::kFormatId, format).Click(CSQLGenDlg::kGenerateId);
    });
    EXPECT_EQ(opened.calls().size(), 1u);
  }
  EXPECT_NE(Read("sqlout.html").find("no matches."), std::string::npos);
  const std::string xml = Read("sqlout.xml");
  EXPECT_EQ(xml.rfind("<table>", 0), 0u) << xml;
  EXPECT_NE(xml.find("<query>" + query + "</query></table>"), std::string::npos) << xml;
}

TEST_F(SqlPageTest, HelpOpensTheSqlAddressOverTheGeneralOne) {
  const struct {
    const char* general;
    const char* sql;
    const char* opened;  // nullptr: nothing
  } kCases[] = {
      {"https://help.example/", nullptr, "https://help.example/"},
      {"https://help.example/", "https://help.example/sql", "https://help.example/sql"},
      {nullptr, nullptr, nullptr},
  };
  for (const auto& c : kCases) {
    Settings().DeleteValue("URL_Help");
    Settings().DeleteValue("URL_HelpSQL");
    if (c.general) Settings().SetString("URL_Help", c.general);
    if (c.sql) Settings().SetString("URL_HelpSQL", c.sql);
    platform::ShellOpenRecording opened;
    RunPage([](DialogDriver& p) { p.Click(CSQLGenDlg::kHelpId); });
    if (c.opened == nullptr) {
      EXPECT_TRUE(opened.calls().empty());
    } else {
      ASSERT_EQ(opened.calls().size(), 1u);
      EXPECT_EQ(opened.calls()[0].target, c.opened);
    }
  }
}

}  // namespace
}  // namespace tools
