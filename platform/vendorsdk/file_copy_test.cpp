#include "platform/vendorsdk/file_copy.h"
#include "testing/temp_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {
namespace {

class FileCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = platform::testing::MakeTempFolder("vsdkcopy");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  int Create(const std::string& name) {
    return ::open((dir_ + "/" + name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  }
  static std::string ReadAll(int fd) {
    std::string out;
    char buf[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
    return out;
  }
  std::string dir_;
};

TEST_F(FileCopyTest, CopiesFilesAndPipesWholeAndReportsEachStep) {
  std::string data(20 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 131 % 251);

  const int source = Create("src");
  ASSERT_EQ(::write(source, data.data(), data.size()), ssize_t(data.size()));
  ::lseek(source, 0, SEEK_SET);
  const int target = Create("dst");
  std::vector<std::uint64_t> steps;
  EXPECT_EQ(CopyFileData(source, target, [&](std::uint64_t done) {
              steps.push_back(done);
              return true;
            }),
            0);
  EXPECT_EQ(ReadAll(target), data);
  ASSERT_GE(steps.size(), 3u);  // large files go in several steps
  EXPECT_EQ(steps.back(), data.size());
  ::close(source);
  ::close(target);

  // A pipe cannot be copied by the kernel: the copy falls back to reading and writing.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const std::string small = data.substr(0, 50000);
  ASSERT_EQ(::write(pipeFds[1], small.data(), small.size()), ssize_t(small.size()));
  ::close(pipeFds[1]);
  const int fromPipe = Create("pipe");
  EXPECT_EQ(CopyFileData(pipeFds[0], fromPipe, [](std::uint64_t) { return true; }), 0);
  EXPECT_EQ(ReadAll(fromPipe), small);
  ::close(pipeFds[0]);
  ::close(fromPipe);
}

TEST_F(FileCopyTest, StopsWhenTheStepSaysSo) {
  const int source = Create("src");
  const std::string data(20 * 1024 * 1024, 'x');
  ASSERT_EQ(::write(source, data.data(), data.size()), ssize_t(data.size()));
  ::lseek(source, 0, SEEK_SET);
  const int target = Create("dst");
  int calls = 0;
  EXPECT_EQ(CopyFileData(source, target, [&](std::uint64_t) { return ++calls < 1; }), ECANCELED);
  EXPECT_EQ(calls, 1);
  EXPECT_LT(ReadAll(target).size(), data.size());
  ::close(source);
  ::close(target);
}

}  // namespace
}  // namespace platform
