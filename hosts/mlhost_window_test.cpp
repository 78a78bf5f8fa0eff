// mlhost's library window on a (virtual) display against trayhub with the demo player: a
// picture of the window with the plug-in's page showing the player's tracks (and one
// without a manager), the page rendered as its model holds it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "testing/mlhost.h"

namespace {

using namespace mlhosttest;
using shellhosttest::PicturesFolder;

const bool kIsolated = platform::testing::IsolateNamespace();

class MlhostWindowTest : public MlhostTest {
 protected:
  // Opens the entry, selects rows, takes the picture and compares the page's rendering.
  void Picture(const std::string& name, const std::string& rows) {
    const std::string file = PicturesFolder() + "/mlhost_" + name + ".png";
    std::filesystem::remove(file);
    const Output out = Run({"open", "select " + rows, "shot " + file, "rendered"},
                           "ml_ombrixj1.so", true);
    const std::vector<std::string> rendered = Lines(out, "rendered");
    EXPECT_FALSE(rendered.empty()) << all_;
    if (!rendered.empty()) {
      EXPECT_EQ(rendered[0], "as the page holds it") << all_;
    }
    EXPECT_EQ(all_.find("error:"), std::string::npos) << all_;
    EXPECT_TRUE(std::filesystem::exists(file) && std::filesystem::file_size(file) > 1000) << file;
  }
};

TEST_F(MlhostWindowTest, ThePageOfTheDemoPlayer) {
  StartManagerWithPlayer("trayhub");
  Picture("page", "1 2");
}

TEST_F(MlhostWindowTest, ThePageWithoutAManager) { Picture("manager_not_running", "none"); }

}  // namespace
