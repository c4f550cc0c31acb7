#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Memorybudgetunit.h"

namespace fs = std::filesystem;

namespace {

// A made-up cgroup folder: files written under a fresh temporary folder.
class ControlGroupTest : public testing::Test {
protected:
  void SetUp() override {
    std::string path = (fs::temp_directory_path() / "memorybudget-XXXXXX").string();
    ASSERT_NE(::mkdtemp(path.data()), nullptr);
    Root = path;
  }
  void TearDown() override { fs::remove_all(Root); }

  void Limit(const std::string& folder, const std::string& file, const std::string& text) {
    fs::create_directories(Root + folder);
    std::ofstream(Root + folder + "/" + file) << text << "\n";
  }

  std::string Root;
};

} // namespace

TEST_F(ControlGroupTest, TheTightestLimitOnThePathUpToTheRootCounts) {
  // The unified hierarchy: the process's own group, its parent, the root.
  Limit("/box/job", "memory.max", "max");
  Limit("/box", "memory.max", "300000000");
  EXPECT_EQ(ControlGroupMemoryLimit("0::/box/job\n", Root), 300000000);
  Limit("/box/job", "memory.max", "200000000");
  EXPECT_EQ(ControlGroupMemoryLimit("0::/box/job\n", Root), 200000000);
  // A group elsewhere in the tree binds nothing.
  Limit("/other", "memory.max", "1000");
  EXPECT_EQ(ControlGroupMemoryLimit("0::/box/job\n", Root), 200000000);
  // Inside a namespace the process sits at the root of what it sees.
  Limit("", "memory.max", "150000000");
  EXPECT_EQ(ControlGroupMemoryLimit("0::/\n", Root), 150000000);
  EXPECT_EQ(ControlGroupMemoryLimit("0::/box/job\n", Root), 150000000);
}

TEST_F(ControlGroupTest, TheOlderMemoryHierarchyIsReadToo) {
  Limit("/memory/box", "memory.limit_in_bytes", "400000000");
  Limit("/memory", "memory.limit_in_bytes", "9223372036854771712"); // no limit, as the kernel shows it
  EXPECT_EQ(ControlGroupMemoryLimit("4:memory:/box\n0::/\n", Root), 400000000);
  EXPECT_EQ(ControlGroupMemoryLimit("3:cpu,memory:/box\n", Root), 400000000);
  EXPECT_EQ(ControlGroupMemoryLimit("4:memory:/missing/group\n", Root), 9223372036854771712);
  // Only the memory controller's line counts.
  EXPECT_EQ(ControlGroupMemoryLimit("5:cpu:/box\n", Root), -1);
  // Both hierarchies: the tighter.
  Limit("/box", "memory.max", "100000000");
  EXPECT_EQ(ControlGroupMemoryLimit("4:memory:/box\n0::/box\n", Root), 100000000);
}

TEST_F(ControlGroupTest, NoLimitWhereNothingCanBeRead) {
  Limit("/box", "memory.max", "max");
  Limit("/bad", "memory.max", "12abc");
  for (const char* cgroup :
       {"0::/box\n", "0::/bad\n", "0::/missing\n", "", "garbage\n", "1:name=systemd:/\n"})
    EXPECT_EQ(ControlGroupMemoryLimit(cgroup, Root), -1) << cgroup;
  EXPECT_EQ(ControlGroupMemoryLimit("0::/box\n", Root + "/nowhere"), -1);
}

// The limit follows a lowered RLIMIT_AS or RLIMIT_DATA, set in a child
// process so that this one keeps its own.
TEST(MemoryLimit, FollowsTheResourceLimits) {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  ASSERT_GT(pages, 0);
  const std::int64_t physical = static_cast<std::int64_t>(pages) * pageSize;
  const std::int64_t unlowered = MemoryLimit();
  EXPECT_LE(unlowered, physical);
  EXPECT_GT(unlowered, 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's own mappings fail under a lowered limit";
#endif
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    // Below every other limit, well above what this process maps.
    const auto lowered = static_cast<rlim_t>(unlowered / 2);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      rlimit limit{};
      ::getrlimit(resource, &limit);
      limit.rlim_cur = lowered;
      if (::setrlimit(resource, &limit) != 0) ::_exit(2);
      ::_exit(MemoryLimit() == static_cast<std::int64_t>(lowered) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "resource " << resource << ", wait status " << status;
  }
}
