// The page-template language as text in, text out.
#include "web/template/template.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "web/http/http_exception.h"
#include "web/pages/skin_files.h"
#include "web/pages/template_loop.h"

namespace web {

using namespace device;

namespace {

namespace fs = std::filesystem;

class TemplateTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/app"));
    skin_ = root_ + "/app/skins/Default";
    fs::create_directories(skin_);
  }

  void WriteSkinFile(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(skin_ + "/" + name).parent_path());
    std::ofstream(skin_ + "/" + name, std::ios::binary) << text;
  }

  std::string Run(std::string_view text, PageVariables variables = {}) {
    StringTemplateOutput output;
    TemplatePage page("page", output, ResolveSkinRequest);
    DevicePageContext context(device_);
    RunTemplateText(text, page, variables, context);
    variables_ = variables;
    return output.text();
  }

  std::string RunFile(const std::string& name) {
    StringTemplateOutput output;
    TemplatePage page(platform::FromPosixPath(skin_ + "/" + name), output, ResolveSkinRequest);
    PageVariables variables;
    DevicePageContext context(device_);
    RunTemplatePage(page, variables, context);
    return output.text();
  }

  std::optional<platform::SettingsKey> key_;
  std::string skin_;
  MemoryDevice device_;
  PageVariables variables_;
};

TEST_F(TemplateTest, CommandsAndErrorTexts) {
  const PageVariables vars = {{"x", "1"}, {"e", ""}, {"ab", "Z"}, {"u", "a&amp;b+c?d='\""}};
  struct Case {
    const char* page;
    const char* out;
  };
  const Case cases[] = {
      {"abc", "abc\r\n"},
      {"<?print(missing)?>", "\r\n"},
      {"<?set(y,1)?><?print(y)?>", "1\r\n"},
      {"<?set(y, 1)?>[<?print(y)?>]", "[ 1]\r\n"},  // arguments are kept as written
      {"<?  set ( y,  a b ) ?>[<?print(y)?>]", "[  a b]\r\n"},
      {"<?set(y ,1)?>[<?print(y)?>]", "[]\r\n"},  // that set the variable "y "
      {"<?set(y,,2)?><?print(y)?>", "2\r\n"},  // a run of commas is one separator
      {"<?print(x)?><?printu(u)?>", "1a|amp|b|plus|c|qmark|d|eq||quote||dquote|\r\n"},
      {"<?print(a)b)?>", "Z\r\n"},  // every ")" is dropped
      {"<?print(x,e)?>", "'print' command has wrong number of arguments.\r\n"},
      {"<?printu()?>", "'print' command has wrong number of arguments.\r\n"},
      {"<?set(y)?>", "'set' command has wrong number of arguments.\r\n"},
      {"<?include?>", "'include' command has wrong number of arguments.\r\n"},
      {"<?qcontrol(a,b,c,d,e)?>", "'qcontrol' command has wrong number of arguments.\r\n"},
      {"<?loop()?>", "'loop' command has wrong number of arguments.\r\n"},
      {"<?loop(1,2,3,4,5,6,7)?>", "'loop' command has wrong number of arguments.\r\n"},
      {"<?foo?>", "Unrecognized command 'foo'.\r\n"},
      {"<?Print(x)?>", "Unrecognized command 'Print'.\r\n"},
      {"<?endif?><?else?><?endloop?>",
       "Unrecognized command 'endif'.Unrecognized command 'else'.Unrecognized command 'endloop'.\r\n"},
      {"a<?" "?>b<? (x) ?>c", "abc\r\n"},  // no command: nothing
      {"a<?print(x)", "a"},             // an unclosed command drops the rest of its line
      {"a<?print(x)\n)?>b", "a)?>b\r\n"},
      {"<?xml version=\"1.0\"?>", "<?xml version=\"1.0\"?>\r\n"},
      {"<?xml v?> <?print(x)?>!", "<?xml v?> 1!\r\n"},
      {"text <?xml never closed", ""},
      {"a\r\nb\nc", "a\r\nb\r\nc\r\n"},
      {"a\rb", "a\rb\r\n"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.page, vars), c.out) << c.page;
}

TEST_F(TemplateTest, IfBlocks) {
  const PageVariables set = {{"x", "1"}, {"y", "1"}};
  const PageVariables empty = {{"x", ""}};
  struct Case {
    const char* page;
    const PageVariables* vars;
    const char* out;
  };
  const Case cases[] = {
      {"<?if(x)?>then<?else?>else<?endif?>.", &set, "then.\r\n"},
      {"<?if(x)?>then<?else?>else<?endif?>.", &empty, "else.\r\n"},
      {"<?if(z)?>then<?else?>else<?endif?>.", &set, "else.\r\n"},
      {"<?if ( x ) ?>yes<?endif()?>.", &set, "yes.\r\n"},  // the end word is matched by name
      {"<?if(x)?>a<?else?>b", &empty, "b\r\n"},            // an open block ends with the page
      {"<?if(x)?>\nyes\n<?else?>\nno\n<?endif?>", &set, "\r\nyes\r\n\r\n"},
      {"<?if(x)?><?if(z)?>1<?else?>2<?endif?>3<?else?>4<?endif?>", &set, "23\r\n"},
      {"<?if(x)?>a<?else?>b<?else?>c<?endif?>", &empty, "bUnrecognized command 'else'.c\r\n"},
      // A wrong count parses no block: the body runs, the end word is unknown.
      {"<?if(x,y)?>a<?endif?>", &set, "'if' command has wrong number of arguments.aUnrecognized command 'endif'.\r\n"},
      {"<?loop(x)?><?else?><?endif?><?endloop?>|<?endloop?>", &set,
       "Unknown loop type: 'x'.|Unrecognized command 'endloop'.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.page, *c.vars), c.out) << c.page;

  // Blocks nest 100 deep; a deeper one is refused and the page goes on.
  std::string deep;
  for (int i = 0; i < 101; ++i) deep += "<?if(x)?>";
  deep += "in";
  const std::string out = Run(deep, set);
  EXPECT_EQ(out, "'if' command is nested more than 100 blocks deep.in\r\n");
}

TEST_F(TemplateTest, LoopAndQueueControlArguments) {
  EXPECT_EQ(Run("<?loop(FOO)?>body<?endloop?>"), "Unknown loop type: 'FOO'.\r\n");
  EXPECT_EQ(Run("<?loop(from_url)?>body<?endloop?>"), "\r\n");  // empty type: nothing at all
  EXPECT_EQ(Run("<?loop(from_url)?><?endloop?>", {{"ltype", "&lt;b&gt;"}}), "Unknown loop type: '&lt;b&gt;'.\r\n");

  EXPECT_EQ(Run("<?qcontrol(dance)?><?print(qresult)?>"), "Unknown queue control command: 'dance'.\r\n");
  EXPECT_EQ(Run("<?qcontrol(from_url,from_url)?>[<?print(qresult)?>]", {{"qresult", "old"}}), "[]\r\n");
  EXPECT_EQ(variables_.at("qresult"), "");
  EXPECT_EQ(Run("<?qcontrol(from_url)?><?print(qresult)?>", {{"qcmd", " &lt;X&gt; "}}),
            "Unknown queue control command: '&lt;x&gt;'.\r\n");
  EXPECT_EQ(Run("<?qcontrol(\"x\")?><?print(qresult)?>"), "Unknown queue control command: '&quot;x&quot;'.\r\n");
}

TEST_F(TemplateTest, LastQueryComesFromTheSetting) {
  EXPECT_EQ(Run("[<?print(last_query)?>]", {{"last_query", "kept"}}), "[kept]\r\n");
  key_->SetString("SQL_LastSearchQuery", "SELECT id FROM audio WHERE artist?'<b>';");
  EXPECT_EQ(Run("<?print(last_query)?>"), "SELECT id FROM audio WHERE artist?&#39;&lt;b&gt;&#39;;\r\n");
}

TEST_F(TemplateTest, Includes) {
  WriteSkinFile("inc.html", "<?print(v)?><?set(w,2)?>");
  WriteSkinFile("sub/deep.htm", "deep");
  EXPECT_EQ(Run("<?set(v,1)?><?include(inc.html)?>|<?print(w)?>"), "1\r\n|2\r\n");
  EXPECT_EQ(Run("<?include(/sub\\deep.htm)?>"), "deep\r\n\r\n");
  EXPECT_EQ(Run("<?include(nope.html)?>"), "Cannot include 'nope.html'.\r\n");
  EXPECT_EQ(Run("<?include(sub)?>"), "Cannot include 'sub'.\r\n");  // a folder

  // A name can never leave the skin: ".." segments are dropped before the lookup.
  std::ofstream(root_ + "/app/skins/secret.html") << "secret";
  std::ofstream(root_ + "/app/secret.html") << "secret";
  EXPECT_EQ(Run("<?include(../secret.html)?>"), "Cannot include '../secret.html'.\r\n");
  EXPECT_EQ(Run("<?include(../../secret.html)?>"), "Cannot include '../../secret.html'.\r\n");
  EXPECT_EQ(Run("<?include(" + platform::FromPosixPath(root_ + "/app/secret.html") + ")?>").find("secret\r\n"),
            std::string::npos);
}

TEST_F(TemplateTest, IncludeCyclesEnd) {
  WriteSkinFile("self.html", "x<?include(self.html)?>");
  std::string expected(17, 'x');
  expected += "Cannot include 'self.html': includes are nested more than 16 deep.";
  for (int i = 0; i < 17; ++i) expected += "\r\n";
  EXPECT_EQ(RunFile("self.html"), expected);

  // Each run includes itself twice: without a budget that is 2^16 runs.
  WriteSkinFile("two.html", "<?include(two.html)?><?include(two.html)?>");
  const auto start = std::chrono::steady_clock::now();
  const std::string out = RunFile("two.html");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(out.find("Cannot include 'two.html': the page has more than 1000 includes."), std::string::npos);
}

TEST_F(TemplateTest, PageFiles) {
  WriteSkinFile("page.html", "line1\r\n<?set(a,b)?>\nlast");
  EXPECT_EQ(RunFile("page.html"), "line1\r\n\r\nlast\r\n");
  EXPECT_THROW(RunFile("missing.html"), FileException);
}

TEST(TemplateParser, CommandTokens) {
  struct Case {
    const char* text;
    std::optional<std::vector<std::string>> tokens;  // name, then the arguments
  };
  const Case cases[] = {
      {"  print(x)  ", std::vector<std::string>{"print", "x"}},
      {"set( a ,  b c )", std::vector<std::string>{"set", "a ", "  b c"}},
      {"a(,,x,,)", std::vector<std::string>{"a", "x"}},
      {"endif", std::vector<std::string>{"endif"}},
      {"na me", std::vector<std::string>{"na me"}},
      {"f(a(b)c)", std::vector<std::string>{"f", "a(bc"}},
      {" \t ", std::nullopt},
      {" (x)", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<Token> token = ParseTemplateCommand(c.text);
    ASSERT_EQ(token.has_value(), c.tokens.has_value()) << c.text;
    if (!token) continue;
    std::vector<std::string> got = {token->name};
    got.insert(got.end(), token->args.begin(), token->args.end());
    EXPECT_EQ(got, *c.tokens) << c.text;
  }
}

}  // namespace

}  // namespace web
