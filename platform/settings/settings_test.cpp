#include "platform/settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "platform/settings/hive_text.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string ToolsDir() {
  const char* dir = std::getenv("TOVARIN_TEST_TOOLS");
  return dir && *dir ? dir : TOVARIN_TOOLS_DIR;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  ASSERT_TRUE(out.good()) << path;
}

// Starts a program from the tools folder with stdout and stderr going to files, or with
// stdin and stdout on the given descriptors when they are not -1.
pid_t Spawn(const std::vector<std::string>& args, const std::string& outFile, const std::string& errFile,
            int inFd = -1, int outFd = -1) {
  std::vector<char*> argv;
  std::string program = ToolsDir() + "/" + args[0];
  argv.push_back(program.data());
  for (size_t i = 1; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (inFd >= 0) posix_spawn_file_actions_adddup2(&actions, inFd, 0);
  if (outFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(rc, 0) << "cannot start " << program;
  return rc == 0 ? pid : -1;
}

int WaitExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct ToolResult {
  int exitCode;
  std::string out;
  std::string err;
};

// Everything a key holds, keyed by path below the starting key, for comparing trees.
using Snapshot = std::map<std::string, std::map<std::string, std::pair<ValueType, std::string>>>;

void TakeSnapshot(Hive hive, const std::string& path, const std::string& rel, Snapshot* out) {
  auto key = SettingsKey::Open(hive, path);
  ASSERT_TRUE(key) << path;
  auto& values = (*out)[rel];
  for (const std::string& name : key->ValueNames()) {
    auto v = key->Get(name);
    ASSERT_TRUE(v) << name;
    values[name] = {v->type, v->data};
  }
  for (const std::string& sub : key->SubKeyNames()) TakeSnapshot(hive, path + "\\" + sub, rel + "\\" + sub, out);
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    setenv("TOVARIN_NS", ("settings_test." + std::to_string(getpid()) + "." + std::to_string(++counter)).c_str(), 1);
    UseNewHome();
  }

  void TearDown() override {
    for (const std::string& dir : homes_) fs::remove_all(dir);
    unsetenv("TOVARIN_HOME");
  }

  std::string UseNewHome() {
    std::string base = (fs::temp_directory_path() / "settings_test.XXXXXX").string();
    EXPECT_NE(mkdtemp(base.data()), nullptr);
    homes_.push_back(base);
    setenv("TOVARIN_HOME", base.c_str(), 1);
    return base;
  }

  std::string HiveFile(Hive hive = Hive::CurrentUser) {
    return SettingsFolder() + "/" + hive::FullName(hive) + ".txt";
  }

  // Moves to a new home holding copies of the hive files: the reads after this parse the
  // text as written, not this process's copy.
  void ReopenFromDisk() {
    std::string from = SettingsFolder();
    UseNewHome();
    fs::create_directories(SettingsFolder());
    for (Hive h : {Hive::CurrentUser, Hive::LocalMachine, Hive::ClassesRoot}) {
      std::string file = from + "/" + hive::FullName(h) + ".txt";
      if (fs::exists(file)) fs::copy_file(file, HiveFile(h));
    }
  }

  ToolResult RunTool(const std::vector<std::string>& args) {
    std::string out = homes_.front() + "/tool.out", err = homes_.front() + "/tool.err";
    pid_t pid = Spawn(args, out, err);
    if (pid < 0) return {-1, "", ""};
    int code = WaitExit(pid);
    return {code, ReadFile(out), ReadFile(err)};
  }

  std::vector<std::string> homes_;
};

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

// ---------------------------------------------------------------------------------------
// Semantics

TEST_F(SettingsTest, OpenOfAMissingKeyAnswersNulloptAndCreatesNothing) {
  for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine, Hive::ClassesRoot})
    EXPECT_FALSE(SettingsKey::Open(hive, "Software\\Ombrix\\Settings"));
  EXPECT_FALSE(fs::exists(SettingsFolder()));

  SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix");
  EXPECT_TRUE(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix"));
  EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix\\Settings"));
  EXPECT_FALSE(SettingsKey::Open(Hive::LocalMachine, "Software\\Ombrix"));  // hives are apart
  EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "Software")->SubKeyNames(), std::vector<std::string>{"Ombrix"});
}

TEST_F(SettingsTest, ValuesKeepTheirTypeAndBytes) {
  std::string everyByte;
  for (int i = 0; i < 1536; ++i) everyByte.push_back(static_cast<char>(i & 0xff));
  const std::string longText = std::string(1500, 'x') + '\0';
  struct Case {
    const char* name;
    ValueType type;
    std::string bytes;
  };
  const Case cases[] = {
      {"Dword", ValueType::Dword, Bytes({0x2a, 0, 0, 0})},
      {"Dword max", ValueType::Dword, Bytes({0xff, 0xff, 0xff, 0xff})},
      {"Dword of 2 bytes", ValueType::Dword, Bytes({1, 2})},
      {"String", ValueType::String, std::string("hello", 6)},
      {"Empty string", ValueType::String, std::string(1, '\0')},
      {"String without NUL", ValueType::String, "abc"},
      {"String with inner NUL", ValueType::String, std::string("a\0b\0", 4)},
      {"Awkward text", ValueType::String, std::string("q\"b\\s\nn\rr\tt\x01\x7f \xc3\xa9 ;[x]=@%41") + '\0'},
      {"Expand", ValueType::ExpandString, std::string("%TEMP%\\x", 9)},
      {"Binary with NULs", ValueType::Binary, Bytes({0, 1, 0, 0xff, 0})},
      {"Empty binary", ValueType::Binary, ""},
      {"Every byte", ValueType::Binary, everyByte},
      {"Long string", ValueType::String, longText},
      {"None", ValueType::None, "x"},
      {"Other type", static_cast<ValueType>(7), std::string("a\0b\0\0", 5)},
      {"name \"with\" \\ and\nline", ValueType::Dword, Bytes({1, 0, 0, 0})},
  };
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix");
  for (const Case& c : cases) ASSERT_TRUE(key.Set(c.name, c.type, c.bytes)) << c.name;

  for (bool fromDisk : {false, true}) {
    if (fromDisk) ReopenFromDisk();
    auto reopened = SettingsKey::Open(Hive::CurrentUser, "SOFTWARE\\ombrix");
    ASSERT_TRUE(reopened);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (fromDisk ? " (from disk)" : ""));
      auto v = reopened->Get(c.name);
      ASSERT_TRUE(v);
      EXPECT_EQ(v->type, c.type);
      EXPECT_EQ(v->data, c.bytes);
    }
  }
}

TEST_F(SettingsTest, NamesCompareWithoutCaseAndKeepTheCaseTheyWereCreatedWith) {
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix\\Settings");
  ASSERT_TRUE(key.SetDword("Gen_Value", 1));
  ASSERT_TRUE(key.SetDword("GEN_VALUE", 2));  // the same value
  SettingsKey::Create(Hive::CurrentUser, "software\\OMBRIX\\Other");
  SettingsKey::Create(Hive::CurrentUser, "\\Software\\\\ombrix\\settings\\");  // the same key

  for (bool fromDisk : {false, true}) {
    SCOPED_TRACE(fromDisk ? "from disk" : "cached");
    if (fromDisk) ReopenFromDisk();
    auto k = SettingsKey::Open(Hive::CurrentUser, "SOFTWARE\\ombrix\\SETTINGS");
    ASSERT_TRUE(k);
    EXPECT_EQ(k->ValueNames(), std::vector<std::string>{"Gen_Value"});
    EXPECT_EQ(k->Get("gen_value")->data, Bytes({2, 0, 0, 0}));
    EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "software")->SubKeyNames(), std::vector<std::string>{"Ombrix"});
    EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix")->SubKeyNames(),
              (std::vector<std::string>{"Other", "Settings"}));
  }
}

TEST_F(SettingsTest, TheEmptyNameIsTheDefaultValue) {
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix");
  EXPECT_FALSE(key.Get(""));
  ASSERT_TRUE(key.SetString("", "/opt/tovarin"));
  ASSERT_TRUE(key.SetString("@", "not the default"));
  ReopenFromDisk();
  auto k = SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->ValueNames(), (std::vector<std::string>{"", "@"}));
  auto v = k->Get("");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, ValueType::String);
  EXPECT_EQ(v->data, std::string("/opt/tovarin", 13));
}

TEST_F(SettingsTest, SubKeysAreListedByName) {
  for (const char* path : {"A\\B", "A\\c", "A\\D\\E", "A\\%odd\x01\x1b]name", "Z"})
    SettingsKey::Create(Hive::ClassesRoot, path);
  SettingsKey::Open(Hive::ClassesRoot, "A\\D")->SetDword("n", 1);
  for (bool fromDisk : {false, true}) {
    SCOPED_TRACE(fromDisk ? "from disk" : "cached");
    if (fromDisk) ReopenFromDisk();
    EXPECT_EQ(SettingsKey::Open(Hive::ClassesRoot, "")->SubKeyNames(), (std::vector<std::string>{"A", "Z"}));
    EXPECT_EQ(SettingsKey::Open(Hive::ClassesRoot, "A")->SubKeyNames(),
              (std::vector<std::string>{"%odd\x01\x1b]name", "B", "c", "D"}));
    EXPECT_EQ(SettingsKey::Open(Hive::ClassesRoot, "A\\D")->SubKeyNames(), std::vector<std::string>{"E"});
    EXPECT_TRUE(SettingsKey::Open(Hive::ClassesRoot, "A\\D\\E")->ValueNames().empty());
  }
}

TEST_F(SettingsTest, DeleteRemovesTheKeyWithEverythingBelowIt) {
  SettingsKey top = SettingsKey::Create(Hive::LocalMachine, "Software\\Ombrix");
  SettingsKey deep = SettingsKey::Create(Hive::LocalMachine, "Software\\Ombrix\\A\\B");
  ASSERT_TRUE(top.SetDword("n", 1));
  ASSERT_TRUE(deep.SetString("s", "x"));
  SettingsKey::Create(Hive::LocalMachine, "Software\\Other");

  EXPECT_TRUE(SettingsKey::Delete(Hive::LocalMachine, "software\\OMBRIX"));
  EXPECT_FALSE(SettingsKey::Delete(Hive::LocalMachine, "Software\\Ombrix"));  // gone already
  EXPECT_FALSE(SettingsKey::Delete(Hive::LocalMachine, ""));                  // not the hive itself
  EXPECT_FALSE(SettingsKey::Open(Hive::LocalMachine, "Software\\Ombrix"));
  EXPECT_FALSE(SettingsKey::Open(Hive::LocalMachine, "Software\\Ombrix\\A\\B"));
  // Keys opened before answer as deleted and are not brought back by a write.
  EXPECT_FALSE(deep.Get("s"));
  EXPECT_FALSE(deep.SetString("s", "y"));
  EXPECT_FALSE(top.SetDword("n", 2));
  EXPECT_TRUE(deep.SubKeyNames().empty());
  EXPECT_FALSE(SettingsKey::Open(Hive::LocalMachine, "Software\\Ombrix"));

  ReopenFromDisk();
  EXPECT_EQ(SettingsKey::Open(Hive::LocalMachine, "Software")->SubKeyNames(), std::vector<std::string>{"Other"});
}

TEST_F(SettingsTest, DeleteValueAndCreateOfAnExistingKey) {
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix");
  ASSERT_TRUE(key.SetDword("a", 1));
  ASSERT_TRUE(key.SetDword("b", 2));
  SettingsKey again = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix");  // keeps the values
  EXPECT_TRUE(again.DeleteValue("A"));
  EXPECT_FALSE(again.DeleteValue("a"));
  ReopenFromDisk();
  EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix")->ValueNames(), std::vector<std::string>{"b"});
}

// ---------------------------------------------------------------------------------------
// Sharing between processes

TEST_F(SettingsTest, AnotherProcessesWritesAreSeenAtOnce) {
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix");
  ASSERT_TRUE(key.SetDword("N", 1));
  ASSERT_EQ(key.Get("N")->data, Bytes({1, 0, 0, 0}));
  // Each write leaves a file of the same size, often within one tick of the file clock.
  for (int i = 2; i < 12; ++i) {
    ToolResult r = RunTool({"tovreg", "add", "HKCU", "Software\\Ombrix", "/v", "n", "/t", "REG_DWORD", "/d",
                            std::to_string(i)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto v = key.Get("N");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data, Bytes({i, 0, 0, 0}));
  }
  ASSERT_EQ(RunTool({"tovreg", "delete", "HKCU", "Software\\Ombrix"}).exitCode, 0);
  EXPECT_FALSE(key.Get("N"));
  EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix"));
}

TEST_F(SettingsTest, AnotherProcessesWriteIsSeenTheMomentItReturns) {
  // Reads here follow the other process's write by far less than the file clock's tick.
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Step");
  int toChild[2], fromChild[2];
  ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
  pid_t pid = Spawn({"settings_test_writer", "--step", "Step"}, "", homes_.front() + "/step.err", toChild[0],
                    fromChild[1]);
  close(toChild[0]);
  close(fromChild[1]);
  std::FILE* replies = fdopen(fromChild[0], "r");
  ASSERT_NE(replies, nullptr);
  for (int i = 1; i <= 300; ++i) {
    key.Get("N");  // this process's copy is fresh just before the other one writes
    ASSERT_EQ(dprintf(toChild[1], "%d\n", i), static_cast<int>(std::to_string(i).size() + 1));
    char reply[8] = {};
    ASSERT_NE(std::fgets(reply, sizeof reply, replies), nullptr) << ReadFile(homes_.front() + "/step.err");
    auto v = key.Get("N");
    ASSERT_TRUE(v);
    ASSERT_EQ(v->data, Bytes({i & 0xff, i >> 8, 0, 0})) << "write " << i;
  }
  close(toChild[1]);
  std::fclose(replies);
  EXPECT_EQ(WaitExit(pid), 0);
}

TEST_F(SettingsTest, TwoProcessesWritingAThousandValuesEachAtOnceLoseNothing) {
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix\\Load");
  const std::string start = homes_.front() + "/start";
  std::vector<pid_t> writers;
  for (const char* prefix : {"first", "second"})
    writers.push_back(Spawn({"settings_test_writer", "Software\\Ombrix\\Load", prefix, "1000", start},
                            homes_.front() + "/" + prefix + ".out", homes_.front() + "/" + prefix + ".err"));
  WriteFile(start, "");

  // Meanwhile a reader must never see a value disappear (no torn or lost file versions).
  size_t seen = 0;
  std::vector<int> status(writers.size(), -1);
  for (bool running = true; running;) {
    size_t now = key.ValueNames().size();
    EXPECT_GE(now, seen);
    seen = now;
    running = false;
    for (size_t i = 0; i < writers.size(); ++i) {
      if (writers[i] > 0 && status[i] == -1 && waitpid(writers[i], &status[i], WNOHANG) == 0) {
        status[i] = -1;
        running = true;
      }
    }
    usleep(200);
  }
  for (size_t i = 0; i < writers.size(); ++i)
    EXPECT_EQ(status[i], 0) << ReadFile(homes_.front() + "/" + (i ? "second" : "first") + ".err");

  for (bool fromDisk : {false, true}) {
    SCOPED_TRACE(fromDisk ? "from disk" : "cached");
    if (fromDisk) ReopenFromDisk();
    auto k = SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix\\Load");
    ASSERT_TRUE(k);
    EXPECT_EQ(k->ValueNames().size(), 2000u);
    for (const char* prefix : {"first", "second"})
      for (int i = 0; i < 1000; ++i) {
        const std::string name = prefix + std::to_string(i);
        auto v = k->Get(name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->data, name + '\0');
      }
  }
}

TEST_F(SettingsTest, ThreadsAndAnotherProcessWritingAtOnceLoseNothing) {
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Load");
  pid_t writer = Spawn({"settings_test_writer", "Load", "process", "400"}, homes_.front() + "/w.out",
                       homes_.front() + "/w.err");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i)
        if (!key.SetString("thread" + std::to_string(t) + "." + std::to_string(i), "v")) ++failures;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(WaitExit(writer), 0) << ReadFile(homes_.front() + "/w.err");
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(key.ValueNames().size(), 800u);
}

// ---------------------------------------------------------------------------------------
// Damaged files

TEST_F(SettingsTest, ACorruptHiveYieldsItsReadableLinesAndSaysSoOnce) {
  fs::create_directories(SettingsFolder());
  WriteFile(HiveFile(),
            "; hand-edited\r\n"
            "[HKEY_CURRENT_USER\\Good]\r\n"
            "\"a\"=dword:00000001\r\n"
            "\"b\"=dword:zz\n"
            "garbage line\n"
            "\"c\"=sz:\"unterminated\n"
            "\"d\"=hex:0g\n"
            "\"e\"=sz:\"ok\\q\"\n"  // unknown escape
            "  \"e2\" = sz:\"spaced\"  \n"
            "[HKEY_LOCAL_MACHINE\\Wrong]\n"
            "\"f\"=dword:00000002\n"  // under a bad section: dropped, not put into Good
            "[HKEY_CURRENT_USER\\Bad%zz]\n"
            "\"g\"=dword:00000003\n"
            "[HKEY_CURRENT_USER\\Good\\Sub]\n" +
                std::string("\0\xff\x01 junk\n", 9) +
                "\"h\"=hex:01,02\n"
                "\"i\"=dword:00000004");  // no final line end

  testing::internal::CaptureStderr();
  auto good = SettingsKey::Open(Hive::CurrentUser, "Good");
  auto sub = SettingsKey::Open(Hive::CurrentUser, "Good\\Sub");
  std::vector<std::string> goodNames = good ? good->ValueNames() : std::vector<std::string>{};
  std::vector<std::string> rootKeys = SettingsKey::Open(Hive::CurrentUser, "")->SubKeyNames();
  std::string err = testing::internal::GetCapturedStderr();

  ASSERT_TRUE(good);
  ASSERT_TRUE(sub);
  EXPECT_EQ(goodNames, (std::vector<std::string>{"a", "e2"}));
  EXPECT_EQ(sub->ValueNames(), (std::vector<std::string>{"h", "i"}));
  EXPECT_EQ(rootKeys, std::vector<std::string>{"Good"});
  EXPECT_NE(err.find("10 unreadable line(s), the first is line 4"), std::string::npos) << err;
  EXPECT_EQ(err.find("settings:"), err.rfind("settings:")) << "said more than once: " << err;

  // A write keeps what could be read, and every line that could not, as it was: a repair
  // by hand can still bring them back.
  ASSERT_TRUE(good->SetDword("z", 5));
  const std::string written = ReadFile(HiveFile());
  for (const std::string& line : std::vector<std::string>{"\"b\"=dword:zz", "garbage line", "\"c\"=sz:\"unterminated", "\"d\"=hex:0g", "\"e\"=sz:\"ok\\q\"",
        "[HKEY_LOCAL_MACHINE\\Wrong]", "\"f\"=dword:00000002", "[HKEY_CURRENT_USER\\Bad%zz]",
        "\"g\"=dword:00000003", std::string("\0\xff\x01 junk", 8)}) {
    EXPECT_NE(written.find("\n" + line + "\n"), std::string::npos) << "lost: " << line << "\n" << written;
  }
  ReopenFromDisk();
  testing::internal::CaptureStderr();
  EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "Good")->ValueNames(), (std::vector<std::string>{"a", "e2", "z"}));
  EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "Good\\Sub")->ValueNames(), (std::vector<std::string>{"h", "i"}));
  EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "")->SubKeyNames(), std::vector<std::string>{"Good"});
  EXPECT_NE(testing::internal::GetCapturedStderr().find("10 unreadable line(s)"), std::string::npos);
  // Kept lines stay where they cannot be taken for settings: writing again changes nothing
  // else, and a value line that stood under a bad section never joins a good one.
  ASSERT_TRUE(SettingsKey::Open(Hive::CurrentUser, "Good")->DeleteValue("z"));
  ASSERT_TRUE(SettingsKey::Open(Hive::CurrentUser, "Good")->SetDword("z", 5));
  EXPECT_EQ(ReadFile(HiveFile()), written);
  EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Good")->Get("f"));
  EXPECT_FALSE(SettingsKey::Open(Hive::LocalMachine, "Wrong"));
}

TEST_F(SettingsTest, LinesThatCannotBeReadAreKeptWithTheirKeyOrWhereNoKeyTakesThem) {
  fs::create_directories(SettingsFolder());
  // Before any section; in the hive root's own section; in a key; under a bad section.
  WriteFile(HiveFile(),
            "\"loose\"=dword:00000001\n"
            "[HKEY_CURRENT_USER]\n"
            "\"r\"=dword:00000002\n"
            "root garbage\n"
            "[HKEY_CURRENT_USER\\K]\n"
            "\"v\"=dword:00000003\n"
            "key garbage\n"
            "[HKEY_CURRENT_USER\\Half\\%q]\n"  // makes no key "Half"
            "\"stray\"=dword:00000004\n"
            "[HKEY_CURRENT_USER\\L]\n");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(SettingsKey::Open(Hive::CurrentUser, "")->SetDword("r2", 5));
  ASSERT_TRUE(SettingsKey::Delete(Hive::CurrentUser, "L"));
  testing::internal::GetCapturedStderr();
  const std::string text = ReadFile(HiveFile());
  // The key's own broken line stays in its section.
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\K]\n\"v\"=dword:00000003\nkey garbage\n"), std::string::npos) << text;
  // The rest comes before the first section, where nothing is read as a setting.
  const std::size_t firstSection = text.find("\n[HKEY_CURRENT_USER]\n");  // the hive root's
  for (const char* line : {"\"loose\"=dword:00000001", "root garbage", "[HKEY_CURRENT_USER\\Half\\%q]",
                           "\"stray\"=dword:00000004"}) {
    const std::size_t at = text.find(std::string("\n") + line + "\n");
    EXPECT_NE(at, std::string::npos) << line << "\n" << text;
    EXPECT_LT(at, firstSection) << line << "\n" << text;
  }
  ReopenFromDisk();
  testing::internal::CaptureStderr();
  auto root = SettingsKey::Open(Hive::CurrentUser, "");
  EXPECT_EQ(root->ValueNames(), (std::vector<std::string>{"r", "r2"}));
  EXPECT_EQ(root->SubKeyNames(), std::vector<std::string>{"K"});
  EXPECT_EQ(SettingsKey::Open(Hive::CurrentUser, "K")->ValueNames(), std::vector<std::string>{"v"});
  testing::internal::GetCapturedStderr();
  // A key deleted goes with its broken lines.
  ASSERT_TRUE(SettingsKey::Delete(Hive::CurrentUser, "K"));
  EXPECT_EQ(ReadFile(HiveFile()).find("key garbage"), std::string::npos);
}

TEST(HiveTextTest, AKeyNameHoldingAnEscapedBackslashCannotBeRead) {
  // Read as a name, "A%5CB" would be written back with the backslash: two keys, not one.
  const std::string text = "[HKEY_CURRENT_USER\\A%5CB]\n\"v\"=dword:00000001\n";
  hive::Key first;
  EXPECT_EQ(hive::Parse(text, Hive::CurrentUser, &first).badLines, 2);
  EXPECT_TRUE(first.subkeys.empty());
  hive::Key second;
  EXPECT_EQ(hive::Parse(hive::WriteFile(first, Hive::CurrentUser, "t"), Hive::CurrentUser, &second).badLines, 2);
  EXPECT_TRUE(second.subkeys.empty());
}

TEST_F(SettingsTest, AnUnreadableHiveIsAbsentAndNotOverwritten) {
  fs::create_directories(HiveFile());  // a folder where the file should be
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Software"));
  SettingsKey key = SettingsKey::Create(Hive::CurrentUser, "Software");
  EXPECT_FALSE(key.SetDword("n", 1));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(fs::is_directory(HiveFile()));
  EXPECT_NE(err.find("cannot read"), std::string::npos) << err;
  // The other hives are unaffected.
  EXPECT_TRUE(SettingsKey::Create(Hive::LocalMachine, "Software").SetDword("n", 1));
}

// The store holds the installation's settings and the person's: nobody else reads it,
// also where an older version left its files open to all.
TEST_F(SettingsTest, TheStoresFilesAreThePersonsAlone) {
  const auto othersMayRead = [](const fs::path& p) {
    return (fs::status(p).permissions() & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none;
  };
  ASSERT_TRUE(SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix").SetDword("n", 1));
  EXPECT_FALSE(othersMayRead(SettingsFolder()));
  for (const auto& e : fs::directory_iterator(SettingsFolder())) EXPECT_FALSE(othersMayRead(e.path())) << e.path();

  UseNewHome();
  fs::create_directories(SettingsFolder());
  const std::string lock = SettingsFolder() + "/" + hive::FullName(Hive::CurrentUser) + ".lock";
  for (const std::string& file : {HiveFile(), lock}) {
    std::ofstream(file).close();
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  }
  ASSERT_TRUE(SettingsKey::Create(Hive::CurrentUser, "Software\\Ombrix").SetDword("n", 2));
  for (const auto& e : fs::directory_iterator(SettingsFolder())) EXPECT_FALSE(othersMayRead(e.path())) << e.path();
}

// ---------------------------------------------------------------------------------------
// tovreg

TEST_F(SettingsTest, TovregRoundTrips) {
  auto value = [](const char* name) { return SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix")->Get(name); };
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // expected within stdout
    std::string err;  // expected within stderr
    std::function<void()> check;
  };
  const std::string notFound = "unable to find the specified registry key or value";
  const Case cases[] = {
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Kor_InstallResult", "/t", "REG_DWORD", "/d", "0x01000800"}, 0,
       "completed successfully", "",
       [&] { EXPECT_EQ(value("kor_installresult")->data, Bytes({0, 8, 0, 1})); }},
      {{"query", "HKCU", "software\\ombrix", "Kor_InstallResult"}, 0, "Kor_InstallResult    REG_DWORD    0x1000800",
       "", nullptr},
      {{"add", "HKEY_CURRENT_USER", "Software\\Ombrix", "/ve", "/d", "/opt/tovarin"}, 0, "", "",
       [&] {
         EXPECT_EQ(value("")->type, ValueType::String);
         EXPECT_EQ(value("")->data, std::string("/opt/tovarin", 13));
       }},
      {{"query", "hkcu", "Software\\Ombrix", "/ve"}, 0, "(Default)    REG_SZ    /opt/tovarin", "", nullptr},
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Count", "/t", "reg_dword", "/d", "4294967295"}, 0, "", "",
       [&] { EXPECT_EQ(value("Count")->data, Bytes({0xff, 0xff, 0xff, 0xff})); }},
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Blob", "/t", "REG_BINARY", "/d", "00ff10"}, 0, "", "",
       [&] { EXPECT_EQ(value("Blob")->data, Bytes({0, 0xff, 0x10})); }},
      {{"query", "HKCU", "Software\\Ombrix", "/v", "blob"}, 0, "Blob    REG_BINARY    00FF10", "", nullptr},
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%\\x y"}, 0, "", "",
       [&] { EXPECT_EQ(value("Path")->type, ValueType::ExpandString); }},
      {{"add", "HKCU", "Software\\Ombrix\\Sub"}, 0, "", "",
       [&] { EXPECT_TRUE(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix\\Sub")); }},
      {{"query", "HKCU", "Software\\Ombrix"}, 0,
       "HKEY_CURRENT_USER\\Software\\Ombrix\n"
       "    (Default)    REG_SZ    /opt/tovarin\n"
       "    Blob    REG_BINARY    00FF10\n"
       "    Count    REG_DWORD    0xffffffff\n"
       "    Kor_InstallResult    REG_DWORD    0x1000800\n"
       "    Path    REG_EXPAND_SZ    %TEMP%\\x y\n"
       "\n"
       "HKEY_CURRENT_USER\\Software\\Ombrix\\Sub\n",
       "", nullptr},
      // Errors leave the store as it was.
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Count", "/t", "REG_DWORD", "/d", "4294967296"}, 1, "",
       "Invalid data \"4294967296\" for REG_DWORD",
       [&] { EXPECT_EQ(value("Count")->data, Bytes({0xff, 0xff, 0xff, 0xff})); }},
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Count", "/t", "REG_DWORD", "/d", "12ab"}, 1, "", "Invalid data",
       nullptr},
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Blob", "/t", "REG_BINARY", "/d", "0f0"}, 1, "", "Invalid data",
       nullptr},
      {{"add", "HKCU", "Software\\Ombrix", "/v", "Q", "/t", "REG_QWORD", "/d", "1"}, 1, "", "Invalid type", nullptr},
      {{"add", "HKCU", "Software\\New", "/t", "REG_DWORD", "/d", "1"}, 1, "", "/t and /d need /v or /ve",
       [&] { EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Software\\New")); }},
      {{"add", "HKXX", "Software\\Ombrix"}, 1, "", "Invalid hive \"HKXX\"", nullptr},
      {{"query", "HKCU", "Software\\Missing"}, 1, "", notFound,
       [&] { EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Software\\Missing")); }},
      {{"query", "HKCU", "Software\\Ombrix", "Missing"}, 1, "", notFound, nullptr},
      {{"delete", "HKCU", "Software\\Ombrix", "/v", "Missing"}, 1, "", notFound, nullptr},
      {{"delete", "HKCU", ""}, 1, "", "cannot be deleted", nullptr},
      {{"frobnicate", "HKCU", "x"}, 1, "", "Unknown operation", nullptr},
      {{"query", "HKCU"}, 1, "", "Invalid syntax", nullptr},
      {{"add", "HKCU", "x", "/v"}, 1, "", "/v needs an argument", nullptr},
      {{}, 1, "", "Usage:", nullptr},
      {{"/?"}, 0, "Usage:", "", nullptr},
      // Deletes.
      {{"delete", "HKCU", "Software\\Ombrix", "/v", "BLOB"}, 0, "", "", [&] { EXPECT_FALSE(value("Blob")); }},
      {{"delete", "HKCU", "Software\\Ombrix", "/ve"}, 0, "", "", [&] { EXPECT_FALSE(value("")); }},
      {{"delete", "HKCU", "Software\\Ombrix"}, 0, "", "",
       [&] { EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, "Software\\Ombrix\\Sub")); }},
      {{"query", "HKCU", "Software\\Ombrix"}, 1, "", notFound, nullptr},
  };
  for (const Case& c : cases) {
    std::string line = "tovreg";
    for (const std::string& a : c.args) line += " " + a;
    SCOPED_TRACE(line);
    std::vector<std::string> args{"tovreg"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ToolResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.exitCode == 0) {
      EXPECT_EQ(r.err, "");
    }
    if (c.check) c.check();
  }
}

TEST_F(SettingsTest, TovregExportReadsBackAsTheSameTree) {
  SettingsKey key = SettingsKey::Create(Hive::ClassesRoot, "CLSID\\{1}");
  ASSERT_TRUE(key.SetString("", "Ombrix folder"));
  ASSERT_TRUE(key.Set("Bytes", ValueType::Binary, Bytes({0, 0x0a, 0x0d, 0x22, 0x5c})));
  ASSERT_TRUE(key.Set("Odd", ValueType::String, "no nul"));
  ASSERT_TRUE(SettingsKey::Create(Hive::ClassesRoot, "CLSID\\{1}\\Inproc%Server\x7f").SetString("x\ny", "a\"b"));
  SettingsKey::Create(Hive::ClassesRoot, "CLSID\\{1}\\Empty");
  SettingsKey::Create(Hive::ClassesRoot, "CLSID\\{2}");  // outside the export

  Snapshot before;
  TakeSnapshot(Hive::ClassesRoot, "CLSID\\{1}", "", &before);
  const std::string file = homes_.front() + "/export.txt";
  ToolResult r = RunTool({"tovreg", "export", "HKCR", "clsid\\{1}", file});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  // The export is itself a hive file holding just that sub-tree.
  UseNewHome();
  fs::create_directories(SettingsFolder());
  fs::copy_file(file, HiveFile(Hive::ClassesRoot));
  Snapshot after;
  TakeSnapshot(Hive::ClassesRoot, "CLSID\\{1}", "", &after);
  EXPECT_EQ(after, before);
  EXPECT_EQ(SettingsKey::Open(Hive::ClassesRoot, "CLSID")->SubKeyNames(), std::vector<std::string>{"{1}"});

  EXPECT_EQ(RunTool({"tovreg", "export", "HKCR", "CLSID\\{9}", file}).exitCode, 1);
  r = RunTool({"tovreg", "export", "HKCR", "CLSID", homes_.front() + "/no/such/folder/x.txt"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Cannot write"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace platform
