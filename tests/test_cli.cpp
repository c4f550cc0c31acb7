// The bicliques command end to end, run as a process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>
#include <set>

#include "CommandTesting.h"
#include "Generateunit.h"
#include "Messagesunit.h"
#include "Parallelunit.h"

namespace fs = std::filesystem;

namespace {

// A random matrix text of the generator, each line ended by a break.
std::string Generated(std::int32_t sources, std::int32_t targets, float density) {
  TRandomSource random(7);
  std::string text;
  for (const auto& row : GenerateMatrix(sources, targets, density, random))
    text += row + "\n";
  return text;
}

class CliTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("bicliques-cli-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Runs the command with `input` on standard input, from inside Dir;
  // standard output goes to `out` (read back only when it is "stdout").
  // `environment` is put before the command ("NAME=value ...").
  TOutcome Run(const std::string& arguments, const std::string& input = "", const std::string& out = "stdout",
               const std::string& environment = "") {
    Spit(Dir / "stdin", input);
    const std::string command = "cd '" + Dir.string() + "' && " + environment + " '" BICLIQUES_EXE "' " +
                                arguments + " <stdin >'" + out + "' 2>stderr";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out == "stdout" ? Slurp(Dir / "stdout") : "",
            Slurp(Dir / "stderr")};
  }

  // Starts the command with `arguments` in Dir, standard input empty, output
  // to Dir/stdout and Dir/stderr, the cleanup signals at their default
  // action (a shell may start tests with SIGINT ignored), and at most
  // `memoryLimit` bytes of address space when that is not 0. With `asNobody`
  // it runs as the user and group 65534 (nobody); a child that cannot drop
  // its privileges ends with status NoPrivilegeDrop.
  pid_t Start(const std::vector<std::string>& arguments, rlim_t memoryLimit = 0, bool asNobody = false) {
    const std::string dir = Dir.string();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ})
      std::signal(signal, SIG_DFL);
    if (memoryLimit != 0) {
      const rlimit limit{memoryLimit, memoryLimit};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    if (asNobody && (::setgroups(0, nullptr) != 0 || ::setresgid(Nobody, Nobody, Nobody) != 0 ||
                     ::setresuid(Nobody, Nobody, Nobody) != 0)) {
      ::_exit(NoPrivilegeDrop);
    }
    std::vector<char*> argv{const_cast<char*>(BICLIQUES_EXE)};
    for (const auto& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(BICLIQUES_EXE, argv.data());
    ::_exit(127);
  }

  // The wait status of `pid`. A process still running after several minutes
  // is a fault, not a slow machine: it is killed, and the test fails.
  static int Wait(pid_t pid) {
    for (int polls = 0; polls < 300 * 100; ++polls) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ADD_FAILURE() << "the command did not end";
    return status;
  }

  static constexpr uid_t Nobody = 65534;
  static constexpr int NoPrivilegeDrop = 125;

  // True once process `pid` holds a temporary file for `target` (a name in
  // Dir) open: one named "TARGET.XXXXXX", or one without a name.
  bool HoldsTemporaryFile(pid_t pid, const std::string& target) const {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
      const std::string link = fs::read_symlink(entry.path(), error).string();
      if (link.rfind((Dir / target).string() + ".", 0) == 0) return true;
      if (link.rfind(Dir.string() + "/", 0) == 0 && link.ends_with(" (deleted)")) return true;
    }
    return false;
  }

  // Names in Dir that start with `prefix`.
  std::vector<std::string> NamesStartingWith(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
  }

  fs::path Dir;
};

} // namespace

TEST_F(CliTest, WorkedExampleThroughStandardInput) {
  const TOutcome outcome = Run("", "11110\n00111\n");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n");
  EXPECT_EQ(outcome.Err, "");
  EXPECT_EQ(Run("-", "11110\n00111\n").Out, outcome.Out);
}

TEST_F(CliTest, ReadsFilesWithEitherLineEnd) {
  Spit(Dir / "crlf.txt", "11110\r\n00111\r\n");
  Spit(Dir / "empty.txt", "");
  EXPECT_EQ(Run("crlf.txt").Out, "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n");
  const TOutcome empty = Run("empty.txt");
  EXPECT_EQ(empty.Status, 0);
  EXPECT_EQ(empty.Out, "");
  EXPECT_EQ(Run("--count empty.txt").Out, "0\n");
}

TEST_F(CliTest, CountAndStats) {
  const TOutcome outcome = Run("--count --stats --engine consensus", "110\n011\n101\n");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "7\n");
  EXPECT_NE(outcome.Err.find("sources 3, targets 3, bicliques 7, passes 3, enumeration "), std::string::npos)
      << outcome.Err;
}

TEST_F(CliTest, RefusedInputAndUnreadableFilesExitOneWithAPlace) {
  struct Case {
    const char* name;
    std::string arguments, input, message;
  };
  const Case cases[] = {
      {"bad character", "", "11110\n00111\n0101x\n",
       "bicliques: standard input: line 3, column 5: expected '0' or '1', found 'x'\n"},
      {"line of another length", "", "101\n10\n",
       "bicliques: standard input: line 2 has 2 characters, line 1 has 3\n"},
      {"binary data", "",
       std::string("\x7f"
                   "ELF\0\x01",
                   6),
       "bicliques: standard input: line 1, column 1: expected '0' or '1', found '\\x7f'\n"},
      {"missing file", "missing.txt", "",
       "bicliques: cannot read 'missing.txt': No such file or directory\n"},
      {"directory", ".", "", "bicliques: cannot read '.': Is a directory\n"},
  };
  for (const auto& c : cases) {
    const TOutcome outcome = Run(c.arguments, c.input);
    EXPECT_EQ(outcome.Status, 1) << c.name;
    EXPECT_EQ(outcome.Out, "") << c.name;
    EXPECT_EQ(outcome.Err, c.message) << c.name;
  }
}

TEST_F(CliTest, OutputFileIsReplacedOnlyByACompleteResult) {
  Spit(Dir / "out.txt", "precious\n");
  const TOutcome refused = Run("-o out.txt", "12\n");
  EXPECT_EQ(refused.Status, 1);
  EXPECT_EQ(Slurp(Dir / "out.txt"), "precious\n");

  const TOutcome done = Run("--output out.txt", "10\n01\n");
  EXPECT_EQ(done.Status, 0);
  EXPECT_EQ(done.Out, "");
  EXPECT_EQ(Slurp(Dir / "out.txt"), "1 : 1\n1,2 : \n2 : 2\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 4)
      << "a temporary file remains";

  const TOutcome unwritable = Run("-o no/such/dir/out.txt", "1\n");
  EXPECT_EQ(unwritable.Status, 1);
  EXPECT_NE(unwritable.Err.find("cannot write 'no/such/dir/out.txt'"), std::string::npos) << unwritable.Err;
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (const char* arguments : {"--bogus", "a.txt b.txt", "generate 3", "generate x 3 25", "-o"}) {
    const TOutcome outcome = Run(arguments);
    EXPECT_EQ(outcome.Status, 2) << arguments;
    EXPECT_NE(outcome.Err, "") << arguments;
  }
  EXPECT_EQ(Run("--help").Status, 0);
  EXPECT_NE(Run("--version").Out.find("bicliques "), std::string::npos);
}

TEST_F(CliTest, GeneratePrintsTheCoreGeneratorsFirstMatrixAndHonoursTheSeed) {
  TRandomSource fresh;
  std::string expected;
  for (const auto& row : GenerateMatrix(10, 10, 25.0f, fresh))
    expected += row + "\n";
  const TOutcome first = Run("generate 10 10 25");
  EXPECT_EQ(first.Status, 0);
  EXPECT_EQ(first.Out, expected);
  EXPECT_EQ(Run("generate 10 10 25").Out, expected);
  EXPECT_NE(Run("generate 10 10 25 --seed 99").Out, expected);
  EXPECT_EQ(Run("generate 2 3 100").Out, "111\n111\n");
  EXPECT_EQ(Run("generate 6 6 12,5abc").Out, Run("generate 6 6 12").Out);
  EXPECT_EQ(Run("generate 0 3 50").Out, "");
}

namespace {

const std::string WorkedInput = "11110\n00111\n";
const std::string WorkedResult = "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n";

} // namespace

TEST_F(CliTest, OutputThroughASymlinkReplacesItsTargetAndKeepsTheLink) {
  fs::create_directories(Dir / "sub");
  Spit(Dir / "sub" / "target.txt", "old\n");
  fs::create_symlink("target.txt", Dir / "sub" / "link"); // relative to its own folder
  fs::create_symlink("sub/link", Dir / "chain");          // a link to a link
  fs::create_symlink("sub/new.txt", Dir / "dangling");    // its target does not exist yet

  for (const char* name : {"sub/link", "chain"}) {
    Spit(Dir / "sub" / "target.txt", "old\n");
    const TOutcome outcome = Run(std::string("-o ") + name, WorkedInput);
    EXPECT_EQ(outcome.Status, 0) << name << outcome.Err;
    EXPECT_EQ(Slurp(Dir / "sub" / "target.txt"), WorkedResult) << name;
  }
  EXPECT_TRUE(fs::is_symlink(Dir / "sub" / "link"));
  EXPECT_TRUE(fs::is_symlink(Dir / "chain"));

  EXPECT_EQ(Run("-o dangling", WorkedInput).Status, 0);
  EXPECT_TRUE(fs::is_symlink(Dir / "dangling"));
  EXPECT_EQ(Slurp(Dir / "sub" / "new.txt"), WorkedResult);
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "sub"), fs::directory_iterator()), 3)
      << "a temporary file remains";
}

TEST_F(CliTest, OutputKeepsTheModeOfTheFileItReplaces) {
  Spit(Dir / "private.txt", "secret\n");
  fs::permissions(Dir / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Run("-o private.txt", WorkedInput).Status, 0);
  EXPECT_EQ(Slurp(Dir / "private.txt"), WorkedResult);
  EXPECT_EQ(fs::status(Dir / "private.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);

  // A new file gets the usual permissions, not mkstemp's private ones.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(Run("-o new.txt", WorkedInput).Status, 0);
  struct stat info {};
  ASSERT_EQ(::stat((Dir / "new.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(CliTest, OutputToAHardLinkedFileKeepsTheLink) {
  Spit(Dir / "a.txt", "a much longer old content than the result will be, to see truncation\n");
  fs::create_hard_link(Dir / "a.txt", Dir / "b.txt");
  const TOutcome outcome = Run("-o b.txt", WorkedInput);
  EXPECT_EQ(outcome.Status, 0) << outcome.Err;
  EXPECT_EQ(Slurp(Dir / "a.txt"), WorkedResult);
  EXPECT_EQ(fs::hard_link_count(Dir / "b.txt"), 2u);
  EXPECT_TRUE(fs::equivalent(Dir / "a.txt", Dir / "b.txt"));

  // A refused input leaves it as it was.
  EXPECT_EQ(Run("-o b.txt", "12\n").Status, 1);
  EXPECT_EQ(Slurp(Dir / "a.txt"), WorkedResult);
}

TEST_F(CliTest, OutputToAFifoWritesToItsReader) {
  ASSERT_EQ(::mkfifo((Dir / "fifo").c_str(), 0644), 0);
  // Holding both ends, the test is a reader that never blocks the command.
  const int fd = ::open((Dir / "fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  const TOutcome outcome = Run("-o fifo", WorkedInput);
  EXPECT_EQ(outcome.Status, 0) << outcome.Err;
  char buffer[256];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0))), WorkedResult);
  EXPECT_TRUE(fs::is_fifo(Dir / "fifo"));
  EXPECT_EQ(NamesStartingWith("fifo.").size(), 0u);
}

TEST_F(CliTest, OutputToACharacterDeviceWritesToTheDevice) {
  if (::geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
  // The kernel's null and full devices: one takes everything, one nothing.
  if (::mknod((Dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0 ||
      ::mknod((Dir / "full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
    GTEST_SKIP() << "device nodes cannot be made here: " << std::strerror(errno);
  }
  const TOutcome written = Run("-o null", WorkedInput);
  EXPECT_EQ(written.Status, 0) << written.Err;
  const TOutcome full = Run("-o full", WorkedInput);
  EXPECT_EQ(full.Status, 1);
  EXPECT_EQ(full.Err, "bicliques: cannot write 'full': No space left on device\n");
  EXPECT_TRUE(fs::is_character_file(Dir / "null"));
  EXPECT_TRUE(fs::is_character_file(Dir / "full"));
  EXPECT_EQ(NamesStartingWith("null.").size() + NamesStartingWith("full.").size(), 0u);
}

TEST_F(CliTest, OutputNamingTheInputIsRefusedBeforeReading) {
  Spit(Dir / "in.txt", WorkedInput);
  fs::create_hard_link(Dir / "in.txt", Dir / "same.txt");
  fs::create_symlink("in.txt", Dir / "link");
  struct Case {
    const char* name;
    std::string arguments, message;
  };
  const Case cases[] = {
      {"same name", "in.txt -o in.txt",
       "bicliques: 'in.txt' is the input file; the result would overwrite it\n"},
      {"hard link", "in.txt -o same.txt",
       "bicliques: 'same.txt' is the input file; the result would overwrite it\n"},
      {"symbolic link", "link -o in.txt",
       "bicliques: 'in.txt' is the input file; the result would overwrite it\n"},
  };
  for (const auto& c : cases) {
    const TOutcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.Status, 1) << c.name;
    EXPECT_EQ(outcome.Err, c.message) << c.name;
    EXPECT_EQ(Slurp(Dir / "in.txt"), WorkedInput) << c.name;
  }
  EXPECT_TRUE(fs::is_symlink(Dir / "link"));
  EXPECT_EQ(fs::hard_link_count(Dir / "in.txt"), 2u);

  // Run reads standard input from the file "stdin".
  const TOutcome standardInput = Run("-o stdin", WorkedInput);
  EXPECT_EQ(standardInput.Status, 1);
  EXPECT_EQ(standardInput.Err, "bicliques: 'stdin' is the input file; the result would overwrite it\n");
  EXPECT_EQ(Slurp(Dir / "stdin"), WorkedInput);
}

TEST_F(CliTest, OutputNamesStandardOutputAsDashAndRefusesAnEmptyName) {
  const TOutcome dash = Run("-o -", WorkedInput);
  EXPECT_EQ(dash.Status, 0);
  EXPECT_EQ(dash.Out, WorkedResult);
  EXPECT_FALSE(fs::exists(Dir / "-"));

  const TOutcome empty = Run("-o ''", WorkedInput);
  EXPECT_EQ(empty.Status, 2);
  EXPECT_NE(empty.Err, "");
}

TEST_F(CliTest, SignalDuringARunRemovesTheTemporaryFile) {
  // Big enough that the run lasts about a second or more; the signal comes
  // as soon as the temporary file is there, before the input is even read.
  TRandomSource random;
  std::string matrix;
  for (const auto& row : GenerateMatrix(60, 60, 60.0f, random))
    matrix += row + "\n";
  Spit(Dir / "big.txt", matrix);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
    Spit(Dir / "out.txt", "precious\n");
    const pid_t pid = Start({"big.txt", "-o", "out.txt"});
    for (int polls = 0; polls < 30 * 1000 && !HoldsTemporaryFile(pid, "out.txt"); ++polls)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(HoldsTemporaryFile(pid, "out.txt")) << "no temporary file, signal " << signal;
    ::kill(pid, signal);
    const int status = Wait(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
        << "signal " << signal << ", wait status " << status;
    EXPECT_EQ(NamesStartingWith("out.txt.").size(), 0u) << "signal " << signal;
    EXPECT_EQ(Slurp(Dir / "out.txt"), "precious\n") << "signal " << signal;
  }
}

TEST_F(CliTest, HelpAndVersionReportAFailedWrite) {
  for (const char* arguments : {"--help", "--version"}) {
    const TOutcome outcome = Run(arguments, "", "/dev/full");
    EXPECT_EQ(outcome.Status, 1) << arguments;
    EXPECT_EQ(outcome.Err, "bicliques: cannot write 'standard output': No space left on device\n")
        << arguments;
  }
}

TEST_F(CliTest, GenerateRefusesNegativeSizes) {
  for (const char* arguments : {"generate -3 5 50", "generate 5 -3 50"}) {
    const TOutcome outcome = Run(arguments);
    EXPECT_EQ(outcome.Status, 2) << arguments;
    EXPECT_EQ(outcome.Out, "") << arguments;
    EXPECT_NE(outcome.Err.find("-3"), std::string::npos) << outcome.Err;
  }
}

TEST(CliMessagesTest, CountsAreGroupedByThousands) {
  EXPECT_EQ(GroupThousands(0), "0");
  EXPECT_EQ(GroupThousands(999), "999");
  EXPECT_EQ(GroupThousands(1000), "1,000");
  EXPECT_EQ(GroupThousands(123456), "123,456");
  EXPECT_EQ(GroupThousands(12345678), "12,345,678");
  EXPECT_EQ(GroupThousands(9223372036854775807), "9,223,372,036,854,775,807");
  const std::string advice = "; try a smaller --memory, --count, --order none, or size bounds";
  EXPECT_EQ(OutOfMemoryMessage(12345678, 3100000000),
            "out of memory after 12,345,678 bicliques (about 3.1 GB in use)" + advice);
  EXPECT_EQ(OutOfMemoryMessage(1, 0), "out of memory after 1 biclique" + advice);
  EXPECT_EQ(OutOfMemoryMessage(-1, 42000000), "out of memory (about 42 MB in use)" + advice);
}

TEST_F(CliTest, RunningOutOfMemoryEndsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
  // Far too many results for 512 MB: every row misses one column, so every
  // set of columns is a result (2^40), and a recorded data set.
  std::string complement;
  for (int r = 0; r < 40; ++r) {
    for (int c = 0; c < 40; ++c)
      complement += r == c ? '0' : '1';
    complement += '\n';
  }
  Spit(Dir / "complement.txt", complement);
  std::vector<std::string> inputs{"complement.txt"};
  const fs::path recorded = "/work/shared/data/vegan_bci.txt";
  if (fs::exists(recorded)) inputs.push_back(recorded.string());
  // The sorted text may hold more than the limit (--memory 1G): within the
  // default budget it would go to runs on disk instead, without end.
  for (const std::string& input : inputs) {
    for (const char* engine : {"consensus", "closure"}) {
      const pid_t pid = Start({"--engine", engine, "--memory", "1G", input}, rlim_t{1} << 29);
      const int status = Wait(pid);
      const std::string err = Slurp(Dir / "stderr");
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
          << input << ", " << engine << ": wait status " << status << ", " << err;
      EXPECT_EQ(err.rfind("bicliques: out of memory", 0), 0u) << input << ", " << engine << ": " << err;
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
  }
}

// One graph in every input format gives the same result lines; fimi and edge
// ids are shown as written, so they are chosen to agree with the matrix's
// numbers.
TEST_F(CliTest, EveryInputFormatGivesTheSameLines) {
  Spit(Dir / "graph.txt", "11010\n01100\n00111\n10001\n");
  Spit(Dir / "graph.dat", "1 2 4\n2 3\n3 4 5\n1 5\n");
  Spit(Dir / "graph.edges", "% a comment\n1 1\n1 2\n1,4\n2\t2\n2 3 0.5\n3 3\n3 4\n3 5\n4 1\n4 5\n1 2\n");
  Spit(Dir / "graph.cxt", "B\n\n4\n5\n\ns1\ns2\ns3\ns4\nt1\nt2\nt3\nt4\nt5\nXX.X.\n.XX..\n..XXX\nX...X\n");
  Spit(Dir / "graph.csv",
       ",t1,t2,\"t,3\",t4,t5\r\ns1,1,1,0,1,0\r\ns2,,X,X,,\r\ns3,0,0,1,1,1\r\n\"s,4\",1,0,0,0,1\r\n");
  const TOutcome matrix = Run("graph.txt");
  ASSERT_EQ(matrix.Status, 0) << matrix.Err;
  EXPECT_FALSE(matrix.Out.empty());
  for (const char* file : {"graph.dat", "graph.edges", "graph.cxt", "graph.csv"}) {
    const TOutcome other = Run(file);
    EXPECT_EQ(other.Status, 0) << file << ": " << other.Err;
    EXPECT_EQ(other.Out, matrix.Out) << file;
  }
  EXPECT_EQ(Run("--from fimi -", Slurp(Dir / "graph.dat")).Out, matrix.Out) << "standard input";
  EXPECT_EQ(Run("--from csv -", Slurp(Dir / "graph.csv")).Out, matrix.Out) << "standard input";
}

// A .csv file is a cross-table; an edge list in one is read with --from
// edges, and its refusal as a cross-table says so.
TEST_F(CliTest, CsvFilesAreCrossTables) {
  Spit(Dir / "m.txt", "11010\n01100\n");
  Spit(Dir / "edges.csv", "1,1\n1,2\n1,4\n2,2\n2,3\n");
  const TOutcome refused = Run("edges.csv");
  EXPECT_EQ(refused.Status, 1);
  EXPECT_EQ(refused.Err, "bicliques: edges.csv: line 2, column 3: expected a cell 0, 1, X, true, false or "
                         "empty, found '2'\nbicliques: a .csv file is read as a cross-table; --from edges "
                         "reads an edge list\n");
  const TOutcome edges = Run("--from edges edges.csv");
  EXPECT_EQ(edges.Status, 0) << edges.Err;
  EXPECT_EQ(edges.Out, Run("m.txt").Out);
  // Named by --from, the format is the user's choice: no hint.
  EXPECT_EQ(
      Run("--from csv edges.csv").Err,
      "bicliques: edges.csv: line 2, column 3: expected a cell 0, 1, X, true, false or empty, found '2'\n");
}

// Counting, unordered streaming and the sorted text tell the same story, for
// every engine and with a sort on disk.
TEST_F(CliTest, CountUnorderedAndSortedAgree) {
  Spit(Dir / "m.txt", Generated(40, 24, 45));
  const TOutcome sorted = Run("--engine consensus m.txt");
  ASSERT_EQ(sorted.Status, 0) << sorted.Err;
  const auto lines = static_cast<std::size_t>(std::count(sorted.Out.begin(), sorted.Out.end(), '\n'));
  for (const char* engine : {"consensus", "closure", "sparse", "auto"}) {
    const std::string with = std::string("--engine ") + engine + " ";
    EXPECT_EQ(Run(with + "--count m.txt").Out, std::to_string(lines) + "\n") << engine;
    std::string unordered = Run(with + "--order none m.txt").Out;
    std::vector<std::string> split;
    std::istringstream in(unordered);
    for (std::string line; std::getline(in, line);)
      split.push_back(line + "\n");
    std::sort(split.begin(), split.end());
    std::string joined;
    for (const auto& line : split)
      joined += line;
    EXPECT_EQ(joined, sorted.Out) << engine;
    EXPECT_EQ(Run(with + "--memory 4K m.txt").Out, sorted.Out) << engine << ", sorted on disk";
  }
}

// Bounds give the unbounded lines whose sides fit.
TEST_F(CliTest, BoundsFilterTheLines) {
  Spit(Dir / "m.txt", Generated(30, 20, 40));
  const TOutcome all = Run("m.txt");
  ASSERT_EQ(all.Status, 0);
  std::string expected;
  std::istringstream in(all.Out);
  for (std::string line; std::getline(in, line);) {
    const std::size_t colon = line.find(" : ");
    const auto sources = std::count(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), ',') + 1;
    const auto targets =
        colon + 3 == line.size()
            ? 0
            : std::count(line.begin() + static_cast<std::ptrdiff_t>(colon), line.end(), ',') + 1;
    if (sources >= 3 && targets >= 2 && targets <= 6) expected += line + "\n";
  }
  EXPECT_EQ(Run("--min-sources 3 --min-targets 2 --max-targets 6 m.txt").Out, expected);
  EXPECT_EQ(Run("--min-sources -1 m.txt").Status, 2);
}

// jsonl lines parse, carry the shown numbers, and the names of a named input.
TEST_F(CliTest, JsonlCarriesNumbersAndNames) {
  Spit(Dir / "named.edges", "alice \"quoted\"\nalice b\\ack\nbob b\\ack\n");
  const TOutcome outcome = Run("--format jsonl named.edges");
  ASSERT_EQ(outcome.Status, 0) << outcome.Err;
  std::istringstream in(outcome.Out);
  std::set<std::string> seen;
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json result = nlohmann::json::parse(line);
    ASSERT_EQ(result["sources"].size(), result["source_names"].size());
    ASSERT_EQ(result["targets"].size(), result["target_names"].size());
    std::vector<std::string> names;
    for (const auto& name : result["source_names"])
      names.push_back(name.get<std::string>());
    names.emplace_back(":");
    for (const auto& name : result["target_names"])
      names.push_back(name.get<std::string>());
    std::ostringstream text;
    for (std::size_t k = 0; k < names.size(); ++k)
      text << (k == 0 ? "" : " ") << names[k];
    seen.insert(text.str());
  }
  EXPECT_EQ(seen, (std::set<std::string>{"alice : \"quoted\" b\\ack", "alice bob : b\\ack"}));
}

// Bad input is refused with the file, line and column, without reading on.
TEST_F(CliTest, RefusedInputNamesTheFileLineAndColumn) {
  Spit(Dir / "bad.dat", "1 2\n3 x\n");
  const TOutcome bad = Run("bad.dat");
  EXPECT_EQ(bad.Status, 1);
  EXPECT_NE(bad.Err.find("bad.dat: line 2, column 3: "), std::string::npos) << bad.Err;
  const TOutcome zero = Run("/dev/zero");
  EXPECT_EQ(zero.Status, 1);
  EXPECT_NE(zero.Err.find("line 1, column 1"), std::string::npos) << zero.Err;
  Spit(Dir / "m.txt", "1010\n0101\n1111\n");
  const TOutcome large = Run("--max-input 10 m.txt");
  EXPECT_EQ(large.Status, 1);
  EXPECT_NE(large.Err.find("limit"), std::string::npos) << large.Err;
  EXPECT_EQ(Run("--max-input 10X m.txt").Status, 2);
}

// Names given to -o by a user without privileges, judged as the shell would:
// a file the user may not write is refused before anything is read, whoever
// owns its folder; a file the user may write is written, in place where its
// folder is read-only or a new file could not keep its owner.
TEST_F(CliTest, OutputTargetsAsANormalUser) {
  Spit(Dir / "in.txt", WorkedInput);
  fs::create_directories(Dir / "own");    // the user's folder
  fs::create_directories(Dir / "locked"); // root's, read-only to the user
  ASSERT_EQ(::chown((Dir / "own").c_str(), Nobody, Nobody), 0);
  const std::string newLong = "own/" + std::string(250, 'n');
  const std::string oldLong = "own/" + std::string(250, 'o');
  const std::string denied = "': Permission denied\n";
  struct Case {
    const char* name;
    std::string output; // the name given to -o, in Dir
    std::string file;   // the regular file it comes to
    bool exists;        // the file is there before, holding "old\n", with:
    uid_t owner;
    mode_t mode;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"own read-only file", "own/ro.txt", "own/ro.txt", true, Nobody, 0444, 1,
       "bicliques: cannot write 'own/ro.txt" + denied},
      {"root's read-only file in the user's folder", "own/rootro.txt", "own/rootro.txt", true, 0, 0444, 1,
       "bicliques: cannot write 'own/rootro.txt" + denied},
      {"root's file only root may write", "own/root.txt", "own/root.txt", true, 0, 0644, 1,
       "bicliques: cannot write 'own/root.txt" + denied},
      {"link to root's read-only file", "own/link", "own/linked.txt", true, 0, 0444, 1,
       "bicliques: cannot write 'own/link" + denied},
      {"new name in a read-only folder", "locked/new.txt", "locked/new.txt", false, 0, 0, 1,
       "bicliques: cannot write 'locked/new.txt" + denied},
      {"own file", "own/plain.txt", "own/plain.txt", true, Nobody, 0640, 0, ""},
      {"root's file anyone may write: in place, still root's", "own/shared.txt", "own/shared.txt", true, 0,
       0666, 0, ""},
      {"own file in a read-only folder: in place", "locked/mine.txt", "locked/mine.txt", true, Nobody, 0644,
       0, ""},
      {"new name", "own/new.txt", "own/new.txt", false, 0, 0, 0, ""},
      {"new name of 250 characters", newLong, newLong, false, 0, 0, 0, ""},
      {"file with a name of 250 characters", oldLong, oldLong, true, Nobody, 0644, 0, ""},
  };
  for (const auto& c : cases) {
    const fs::path file = Dir / c.file;
    if (c.exists) {
      Spit(file, "old\n");
      ASSERT_EQ(::chown(file.c_str(), c.owner, c.owner), 0) << c.name;
      ASSERT_EQ(::chmod(file.c_str(), c.mode), 0) << c.name;
    }
    if (c.output != c.file) fs::create_symlink(file.filename(), Dir / c.output);
    const int status = Wait(Start({"in.txt", "-o", c.output}, 0, true));
    if (WIFEXITED(status) && WEXITSTATUS(status) == NoPrivilegeDrop)
      GTEST_SKIP() << "this process cannot run a child as user 65534";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
      GTEST_SKIP() << "user 65534 cannot run " << BICLIQUES_EXE;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.name << ": wait status " << status;
    EXPECT_EQ(Slurp(Dir / "stderr"), c.message) << c.name;
    if (c.status == 0) {
      EXPECT_EQ(Slurp(file), WorkedResult) << c.name;
    } else if (c.exists) {
      EXPECT_EQ(Slurp(file), "old\n") << c.name;
    } else {
      EXPECT_FALSE(fs::exists(file)) << c.name;
    }
    struct stat info {};
    if (c.exists && ::stat(file.c_str(), &info) == 0) {
      EXPECT_EQ(info.st_uid, c.owner) << c.name;
      EXPECT_EQ(info.st_mode & 07777, c.mode) << c.name;
    }
    if (c.output != c.file) {
      EXPECT_TRUE(fs::is_symlink(Dir / c.output)) << c.name;
    }
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.rfind(file.filename().string().substr(0, 200), 0) == 0 && name != file.filename())
          << c.name << ": " << name << " is left";
    }
  }

  // Root, as with cp, may write any file; its mode stays.
  Spit(Dir / "rootro.txt", "old\n");
  fs::permissions(Dir / "rootro.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  if (::geteuid() == 0) {
    const TOutcome root = Run("-o rootro.txt", WorkedInput);
    EXPECT_EQ(root.Status, 0) << root.Err;
    EXPECT_EQ(Slurp(Dir / "rootro.txt"), WorkedResult);
    EXPECT_EQ(fs::status(Dir / "rootro.txt").permissions(),
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
}

// The default sort memory follows the address-space limit: a sorted run that
// would not fit goes to disk with the same bytes.
TEST_F(CliTest, SortedRunFitsALoweredAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
#endif
  const TOutcome generated = Run("generate 1000 100 20 --seed 1");
  ASSERT_EQ(generated.Status, 0) << generated.Err;
  Spit(Dir / "g.txt", generated.Out);
  const TOutcome unlimited = Run("g.txt -o unlimited.txt");
  ASSERT_EQ(unlimited.Status, 0) << unlimited.Err;
  const int status = Wait(Start({"g.txt", "-o", "limited.txt"}, rlim_t{150} << 20));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "wait status " << status << ", " << Slurp(Dir / "stderr");
  const std::string limited = Slurp(Dir / "limited.txt");
  const std::string expected = Slurp(Dir / "unlimited.txt");
  EXPECT_TRUE(limited == expected) << limited.size() << " bytes, expected " << expected.size();
}

TEST_F(CliTest, ThreadsAboveTheProcessorsAreCappedWithANote) {
  const std::int32_t processors = MachineProcessors();
  const TOutcome capped = Run("--threads 100000", WorkedInput);
  EXPECT_EQ(capped.Status, 0);
  EXPECT_EQ(capped.Out, WorkedResult);
  EXPECT_EQ(capped.Err, "bicliques: " + ThreadsCappedNote(100000, processors) + "\n");
  const TOutcome exact = Run("--threads " + std::to_string(processors), WorkedInput);
  EXPECT_EQ(exact.Out, WorkedResult);
  EXPECT_EQ(exact.Err, "");
}

// Two threads write unordered lines to a full device: the writer that comes
// after the first failure must not report an error of its own.
TEST_F(CliTest, TheFirstWriteFailureIsTheOneReported) {
  Spit(Dir / "m.txt", Generated(200, 40, 30)); // about 800 KB of lines
  for (int run = 0; run < 10; ++run) {
    const TOutcome device = Run("m.txt --order none --threads 2 -o /dev/full");
    EXPECT_EQ(device.Status, 1) << "run " << run;
    EXPECT_EQ(device.Err, "bicliques: cannot write '/dev/full': No space left on device\n") << "run " << run;
    const TOutcome standardOutput = Run("m.txt --order none --threads 2", "", "/dev/full");
    EXPECT_EQ(standardOutput.Status, 1) << "run " << run;
    EXPECT_EQ(standardOutput.Err, "bicliques: cannot write 'standard output': No space left on device\n")
        << "run " << run;
  }
}

// Usage errors name the argument, what was given and the range allowed.
TEST_F(CliTest, UsageMessagesGiveTheRange) {
  const std::string int32Range = "expected a whole number from 0 to 2147483647, got '";
  const std::string density = "DENSITY: expected a number from 0 to 100, got '";
  struct Case {
    std::string arguments, message;
  };
  const Case cases[] = {
      {"--min-sources -1", "--min-sources: " + int32Range + "-1'"},
      {"--max-sources abc", "--max-sources: " + int32Range + "abc'"},
      {"--min-targets 1.5", "--min-targets: " + int32Range + "1.5'"},
      {"--max-targets 2147483648", "--max-targets: " + int32Range + "2147483648'"},
      {"--threads -2", "--threads: " + int32Range + "-2'"},
      {"generate -1 3 50", "SOURCES: " + int32Range + "-1'"},
      {"generate 3 x 50", "TARGETS: " + int32Range + "x'"},
      {"generate 2 3 -inf", density + "-inf'"},
      {"generate 2 3 inf", density + "inf'"},
      {"generate 2 3 nan", density + "nan'"},
      {"generate 2 3 101", density + "101'"},
      {"generate 2 3 100.5", density + "100.5'"},
      {"generate 2 3 -1", density + "-1'"},
      {"generate 2 3 abc", density + "abc'"},
      {"generate 2 3 ''", density + "'"},
      {"generate 2 3", "DENSITY is required"},
      {"generate 2 3 50 --seed -1",
       "--seed: expected a whole number from 0 to 18446744073709551615, got '-1'"},
      {"generate 2 3 50 --seed 18446744073709551616",
       "--seed: expected a whole number from 0 to 18446744073709551615, got '18446744073709551616'"},
  };
  for (const auto& c : cases) {
    const TOutcome outcome = Run(c.arguments, WorkedInput);
    EXPECT_EQ(outcome.Status, 2) << c.arguments;
    EXPECT_EQ(outcome.Out, "") << c.arguments;
    EXPECT_EQ(outcome.Err, c.message + "\nRun with --help for more information.\n") << c.arguments;
  }
}

// The ends of the ranges are taken; the largest seed is a seed of its own.
TEST_F(CliTest, GenerateTakesTheEndsOfItsRanges) {
  EXPECT_EQ(Run("generate 2 3 100").Out, "111\n111\n");
  TRandomSource none(0);
  EXPECT_EQ(Run("generate 1 40 0 --seed 0").Out, GenerateMatrix(1, 40, 0.0f, none)[0] + "\n");
  const TOutcome largest = Run("generate 4 30 50 --seed 18446744073709551615");
  EXPECT_EQ(largest.Status, 0) << largest.Err;
  TRandomSource random(std::numeric_limits<std::uint64_t>::max());
  std::string expected;
  for (const auto& row : GenerateMatrix(4, 30, 50.0f, random))
    expected += row + "\n";
  EXPECT_EQ(largest.Out, expected);
  EXPECT_NE(largest.Out, Run("generate 4 30 50 --seed 18446744073709551614").Out);
}

// A TMPDIR that cannot take the sort's runs ends a sorted run before the
// input is read (here the bad input would be refused otherwise); a run that
// never sorts on disk does not need it.
TEST_F(CliTest, ABadTempDirIsReportedBeforeTheInputIsRead) {
  Spit(Dir / "plain", "x");
  for (const std::string& bad : {Dir.string() + "/missing", Dir.string() + "/plain"}) {
    const std::string environment = "TMPDIR='" + bad + "'";
    const TOutcome sorted = Run("", "12\n", "stdout", environment);
    EXPECT_EQ(sorted.Status, 1) << bad;
    EXPECT_EQ(sorted.Err.rfind("bicliques: sorting the results in the temporary folder \"" + bad +
                                   "\": cannot create a temporary file: ",
                               0),
              0u)
        << sorted.Err;
    for (const char* unsorted : {"--count", "--order none"}) {
      const TOutcome outcome = Run(unsorted, WorkedInput, "stdout", environment);
      EXPECT_EQ(outcome.Status, 0) << unsorted << ": " << outcome.Err;
    }
  }
}

// On a terminal, a message after the progress line starts on a cleared line.
TEST_F(CliTest, TheProgressLineIsRemovedBeforeAMessage) {
  const TOutcome generated = Run("generate 1000 100 20 --seed 1");
  ASSERT_EQ(generated.Status, 0);
  int input[2];
  ASSERT_EQ(::pipe(input), 0);
  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(input[0], 0);
    ::close(input[0]);
    ::close(input[1]);
    ::execl(BICLIQUES_EXE, BICLIQUES_EXE, "-o", "/dev/full", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(input[0]);
  // The line shows once the command has been going for a second: the input
  // comes late, so the run shows it from its first report.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  std::thread feeder([&] {
    std::size_t done = 0;
    while (done < generated.Out.size()) {
      const ssize_t put = ::write(input[1], generated.Out.data() + done, generated.Out.size() - done);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    ::close(input[1]);
  });
  std::string screen;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(terminal, buffer, sizeof buffer);
    if (got <= 0) break; // EIO once the command has ended
    screen.append(buffer, static_cast<std::size_t>(got));
  }
  feeder.join();
  ::close(terminal);
  const int status = Wait(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
  const std::string message = "bicliques: cannot write '/dev/full': No space left on device";
  const std::size_t at = screen.find(message);
  ASSERT_NE(at, std::string::npos) << screen;
  if (screen.find("bicliques, ") == std::string::npos) GTEST_SKIP() << "the run showed no progress line";
  // After the last return to the line's start, nothing but the erasure.
  const std::size_t lineStart = screen.rfind('\r', at);
  ASSERT_NE(lineStart, std::string::npos) << screen;
  EXPECT_EQ(screen.substr(lineStart, at - lineStart), "\r\x1b[K") << screen;
}

// A run killed outright leaves no temporary file beside its target where the
// file system makes files without a name.
TEST_F(CliTest, AKilledRunLeavesNoTemporaryFile) {
  const int probe = ::open(Dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) GTEST_SKIP() << "no files without a name here: " << std::strerror(errno);
  ::close(probe);
  TRandomSource random;
  std::string matrix;
  for (const auto& row : GenerateMatrix(60, 60, 60.0f, random))
    matrix += row + "\n";
  Spit(Dir / "big.txt", matrix);
  Spit(Dir / "out.txt", "precious\n");
  const pid_t pid = Start({"big.txt", "-o", "out.txt"});
  for (int polls = 0; polls < 30 * 1000 && !HoldsTemporaryFile(pid, "out.txt"); ++polls)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(HoldsTemporaryFile(pid, "out.txt")) << "no temporary file";
  ::kill(pid, SIGKILL);
  const int status = Wait(pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "wait status " << status;
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(Dir))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"big.txt", "out.txt", "stdout", "stderr"}));
  EXPECT_EQ(Slurp(Dir / "out.txt"), "precious\n");
}

// From 256 KiB of input on, and with the consensus engine on any input, the
// command starts itself again with the allocator on large pages; the second
// start must see the same arguments and give the same lines, messages and
// status as a run that does not.
TEST_F(CliTest, LargeInputsGiveTheSameOutcomeWhenStartedAgainOnLargePages) {
  std::string matrix;
  for (int row = 0; row < 600; ++row) {
    for (int column = 0; column < 600; ++column)
      matrix += (row * 7 + column * 13) % 97 < 3 ? '1' : '0';
    matrix += '\n';
  }
  Spit(Dir / "large.txt", matrix);
  Spit(Dir / "large-bad.txt", matrix + "01x\n");
  Spit(Dir / "small.txt", "110\n011\n111\n");
  const char* const argumentLists[] = {"large.txt --threads 1",
                                       "--count --stats large.txt",
                                       "--order none --threads 1 large.txt",
                                       "large-bad.txt",
                                       "--engine consensus small.txt",
                                       "--engine consensus --order none --count small.txt"};
  for (const char* arguments : argumentLists) {
    const TOutcome again = Run(arguments);
    const TOutcome once = Run(arguments, "", "stdout", "GLIBC_TUNABLES=glibc.malloc.hugetlb=0");
    EXPECT_EQ(again.Status, once.Status) << arguments;
    EXPECT_EQ(again.Out, once.Out) << arguments;
    if (std::string(arguments).find("--stats") == std::string::npos) {
      EXPECT_EQ(again.Err, once.Err) << arguments; // the statistics hold times
    }
  }
  EXPECT_NE(Run("large.txt").Out, "");
  EXPECT_EQ(Run("large-bad.txt").Status, 1);
}
