#include "platform/ui/host.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/ui/scripted_host.h"

namespace platform {
namespace {

struct ButtonCase {
  UINT flags;
  std::vector<int> buttons;
  int byDefault;
};

TEST(MessageBoxFlagsTest, ButtonsAndDefaults) {
  const ButtonCase cases[] = {
      {MB_OK | MB_ICONINFORMATION, {IDOK}, IDOK},
      {MB_OKCANCEL, {IDOK, IDCANCEL}, IDOK},
      {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, {IDYES, IDNO}, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_TOPMOST, {IDYES, IDNO, IDCANCEL}, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON3, {IDOK, IDCANCEL}, IDOK},  // no third button: the first
      {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, IDABORT},
      {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDRETRY},
      {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, IDCANCEL},
      {0x0000000F, {IDOK}, IDOK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    EXPECT_EQ(MessageBoxButtons(c.flags), c.buttons);
    EXPECT_EQ(DefaultButton(c.flags), c.byDefault);
  }
  // The desktop's numbers, which stored settings and callers rely on.
  EXPECT_EQ(MB_YESNO | MB_ICONQUESTION, 0x24u);
  EXPECT_EQ(MB_ICONINFORMATION, 0x40u);
  EXPECT_EQ(MB_ICONEXCLAMATION, 0x30u);
  EXPECT_EQ(MB_ICONERROR, 0x10u);
  EXPECT_EQ(MB_TOPMOST, 0x40000u);
}

TEST(ScriptedHostTest, AnswersInOrderAndRecordsEverything) {
  Host* before = &CurrentHost();
  {
    ScriptedHost host;
    EXPECT_EQ(&CurrentHost(), &host);
    host.ExpectMessageBox(IDNO, "close").ExpectMessageBox(IDOK);
    host.SetOwnerWindow(42);
    EXPECT_EQ(CurrentHost().MessageBox("Do you still want to close?", "Product", MB_YESNO | MB_ICONQUESTION), IDNO);
    host.SetOwnerWindow(0);
    EXPECT_EQ(CurrentHost().MessageBox("Done.", "Product", MB_ICONINFORMATION), IDOK);
    auto shown = host.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "Product");
    EXPECT_EQ(shown[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(shown[0].owner, 42u);
    EXPECT_EQ(shown[0].answer, IDNO);
    EXPECT_EQ(shown[1].owner, 0u);
    EXPECT_EQ(host.ShownTexts(), (std::vector<std::string>{"Do you still want to close?", "Done."}));
    EXPECT_EQ(host.pendingAnswers(), 0u);
  }
  EXPECT_EQ(&CurrentHost(), before);
}

TEST(ScriptedHostTest, MistakesAreTestFailures) {
  ScriptedHost host;
  int answer = 0;
  EXPECT_NONFATAL_FAILURE(answer = host.MessageBox("Surprise", "Product", MB_YESNO | MB_DEFBUTTON2),
                          "unexpected message box");
  EXPECT_EQ(answer, IDNO);  // the default button, so the code under test goes on
  host.ExpectMessageBox(IDOK, "storage full");
  EXPECT_NONFATAL_FAILURE(host.MessageBox("Device busy", "Product", MB_OK), "lacks \"storage full\"");
  host.ExpectMessageBox(IDYES);
  EXPECT_NONFATAL_FAILURE(host.MessageBox("Information", "Product", MB_OK), "has no Yes button");
  EXPECT_EQ(host.shown().size(), 3u);
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedHost unused;
        unused.ExpectMessageBox(IDCANCEL, "never");
      },
      "was never shown");
}

// The layers below the UI core (the device's errors) show their boxes through it.
TEST(ScriptedHostTest, AnswersTheBoxesOfTheLayersBelow) {
  ScriptedHost host;
  host.ExpectMessageBox(IDNO, "Replace");
  EXPECT_EQ(ShowProcessMessageBox("Replace the file?", "Product", MB_YESNO | MB_ICONQUESTION), IDNO);
  auto shown = host.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Product");
  EXPECT_EQ(shown[0].flags, MB_YESNO | MB_ICONQUESTION);
}

// Runs one console box with the given typed input; returns the answer and what was printed.
std::pair<int, std::string> Console(const std::string& typed, UINT flags, bool interactive) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::tmpfile(), &std::fclose);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
  std::fputs(typed.c_str(), in.get());
  std::rewind(in.get());
  ConsoleHost host(in.get(), out.get(), interactive);
  int answer = host.MessageBox("Copy the files?", "Product", flags);
  std::rewind(out.get());
  std::string printed;
  char buf[512];
  while (std::fgets(buf, sizeof buf, out.get()) != nullptr) printed += buf;
  return {answer, printed};
}

TEST(ConsoleHostTest, WithoutTerminalAnswersTheDefaultAndPrintsTheText) {
  auto [answer, printed] = Console("n\n", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, false);
  EXPECT_EQ(answer, IDNO);
  EXPECT_NE(printed.find("Copy the files?"), std::string::npos);
  EXPECT_NE(printed.find("Product (Question)"), std::string::npos);
  EXPECT_NE(printed.find("default button"), std::string::npos);
}

struct TypedCase {
  const char* typed;
  UINT flags;
  int answer;
};

TEST(ConsoleHostTest, ReadsTheChoiceFromTheTerminal) {
  const TypedCase cases[] = {
      {"n\n", MB_YESNO, IDNO},
      {"YES\n", MB_YESNO, IDYES},
      {"2\n", MB_YESNOCANCEL, IDNO},
      {"\n", MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {"", MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},            // input closed: default
      {"maybe\n7\nc\n", MB_OKCANCEL, IDCANCEL},               // asks again until it understands
      {"c\nco\n", MB_CANCELTRYCONTINUE, IDCONTINUE},          // "c" is ambiguous
      {"  try\n", MB_CANCELTRYCONTINUE, IDTRYAGAIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(Console(c.typed, c.flags, true).first, c.answer);
  }
  EXPECT_NE(Console("maybe\n1\n", MB_YESNO, true).second.find("Please answer"), std::string::npos);
}

}  // namespace
}  // namespace platform
