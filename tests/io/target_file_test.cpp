#include "io/target_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::TargetFile;

class TargetFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    char Template[] = "/tmp/quillon_target_XXXXXX";
    ASSERT_NE(::mkdtemp(Template), nullptr);
    Dir = Template;
    SavedMask = ::umask(027);
  }
  void TearDown() override {
    ::umask(SavedMask);
    for (const std::string& Name : names())
      if (::unlink((Dir + "/" + Name).c_str()) != 0)
        ::rmdir((Dir + "/" + Name).c_str());
    ::rmdir(Dir.c_str());
  }
  std::string path(const std::string& Name) const { return Dir + "/" + Name; }
  void put(const std::string& Name, const std::string& Text, mode_t Mode = 0644) const {
    std::ofstream(path(Name), std::ios::binary) << Text;
    ::chmod(path(Name).c_str(), Mode);
  }
  std::string text(const std::string& Name) const {
    std::ifstream In(path(Name), std::ios::binary);
    std::ostringstream Text;
    Text << In.rdbuf();
    return Text.str();
  }
  mode_t mode(const std::string& Name) const {
    struct stat Status {};
    ::lstat(path(Name).c_str(), &Status);
    return Status.st_mode;
  }
  // Every name in the directory, sorted, hidden ones included.
  std::vector<std::string> names() const {
    std::vector<std::string> Names;
    if (DIR* D = ::opendir(Dir.c_str())) {
      while (const dirent* Entry = ::readdir(D))
        if (std::string(Entry->d_name) != "." && std::string(Entry->d_name) != "..")
          Names.emplace_back(Entry->d_name);
      ::closedir(D);
    }
    std::sort(Names.begin(), Names.end());
    return Names;
  }
  static void write(const TargetFile& Target, const std::string& Text) {
    ASSERT_EQ(::write(Target.fd(), Text.data(), Text.size()), static_cast<ssize_t>(Text.size()));
  }

  std::string Dir;
  mode_t SavedMask = 0;
};

// Until the commit the document lives in a hidden file beside the target; the target keeps its
// old bytes whether the run ends well or not, and only a commit puts the new ones in place.
TEST_F(TargetFileTest, ReplacedOnlyWhenComplete) {
  const struct {
    const char* Name;
    bool Exists;
    bool Commit;
    const char* Left; // the target's bytes afterwards; null: no target
    mode_t Mode;
  } Cases[] = {
      {"new name, committed", false, true, "new", 0640}, // what the umask 027 leaves of 0666
      {"new name, given up", false, false, nullptr, 0},
      {"old file, committed", true, true, "new", 0604}, // the old file's mode, not the umask's
      {"old file, given up", true, false, "old", 0604},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    if (C.Exists)
      put("out.xml", "old", 0604);
    {
      TargetFile Target;
      ASSERT_TRUE(Target.open(path("out.xml")));
      const std::string Temporary = Target.temporaryName();
      ASSERT_EQ(Temporary.rfind(Dir + "/.out.xml.quillon-", 0), 0u) << Temporary;
      EXPECT_EQ(mode(Temporary.substr(Dir.size() + 1)) & 07777, 0600u);
      write(Target, "new");
      EXPECT_EQ(text("out.xml"), C.Exists ? "old" : "");
      if (C.Commit) {
        EXPECT_TRUE(Target.commit());
      }
      EXPECT_EQ(Target.temporaryName().empty(), C.Commit);
    }
    if (C.Left) {
      EXPECT_EQ(names(), std::vector<std::string>{"out.xml"});
      EXPECT_EQ(text("out.xml"), C.Left);
      EXPECT_EQ(mode("out.xml") & 07777, C.Mode);
    } else {
      EXPECT_TRUE(names().empty());
    }
    ::unlink(path("out.xml").c_str());
  }
}

// A link at the target's name is replaced by the document; what it points to stays as it was.
TEST_F(TargetFileTest, LinkReplacedNotFollowed) {
  put("victim", "precious", 0600);
  ASSERT_EQ(::symlink("victim", path("out.xml").c_str()), 0);
  TargetFile Target;
  ASSERT_TRUE(Target.open(path("out.xml")));
  write(Target, "document");
  ASSERT_TRUE(Target.commit());
  EXPECT_TRUE(S_ISREG(mode("out.xml")));
  EXPECT_EQ(text("out.xml"), "document");
  EXPECT_EQ(text("victim"), "precious");
  EXPECT_EQ(mode("out.xml") & 07777, 0640u);
  EXPECT_EQ(names(), (std::vector<std::string>{"out.xml", "victim"}));
}

// Nothing is created where the target cannot go, and a failed commit leaves no file behind.
TEST_F(TargetFileTest, FailuresLeaveNothing) {
  TargetFile Missing;
  EXPECT_FALSE(Missing.open(path("missing/out.xml")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(names().empty());

  TargetFile Target;
  ASSERT_TRUE(Target.open(path("out.xml")));
  write(Target, "document");
  ASSERT_EQ(::mkdir(path("out.xml").c_str(), 0755), 0); // the name is taken meanwhile
  EXPECT_FALSE(Target.commit());
  EXPECT_EQ(names(), std::vector<std::string>{"out.xml"});
  EXPECT_TRUE(S_ISDIR(mode("out.xml")));
}

// Devices are written as they are: no new file, nothing renamed.
TEST_F(TargetFileTest, DevicesWrittenDirectly) {
  TargetFile Target;
  ASSERT_TRUE(Target.open("/dev/null"));
  EXPECT_TRUE(Target.temporaryName().empty());
  write(Target, "gone");
  EXPECT_TRUE(Target.commit());
  struct stat Null {};
  ASSERT_EQ(::stat("/dev/null", &Null), 0);
  EXPECT_TRUE(S_ISCHR(Null.st_mode));
}

} // namespace
