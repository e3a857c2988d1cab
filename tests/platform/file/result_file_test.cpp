// Result files whose path is not a plain new file: links, FIFOs, read-only results.
#include "platform/file/result_file.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/temp_db.h"

namespace dorvane::file {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

size_t entries(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ResultFile, ALinkStaysALinkAndItsTargetIsReplaced) {
  TempDir dir;
  fs::create_directory(dir.file("real"));
  writeBytes(dir.file("real/target.htm"), "old");
  fs::create_symlink("real/target.htm", dir.file("link.htm"));      // relative to the link
  fs::create_symlink(dir.file("link.htm"), dir.file("chain.htm"));  // a link to the link
  fs::create_symlink("real/new.htm", dir.file("dangling.htm"));     // target not there yet

  writeResultFile(dir.file("chain.htm"), "new");
  writeResultFile(dir.file("dangling.htm"), "fresh");

  EXPECT_TRUE(fs::is_symlink(dir.file("link.htm")));
  EXPECT_TRUE(fs::is_symlink(dir.file("chain.htm")));
  EXPECT_TRUE(fs::is_symlink(dir.file("dangling.htm")));
  EXPECT_EQ(readBytes(dir.file("real/target.htm")), "new");
  EXPECT_EQ(readBytes(dir.file("real/new.htm")), "fresh");
  EXPECT_EQ(entries(dir.file("real")), 2u);  // no temporary file left
}

TEST(ResultFile, AFifoIsWrittenIntoAndStaysAFifo) {
  TempDir dir;
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes(300000, 'x');  // more than a pipe holds at once
  std::string got;
  std::thread reader([&] { got = readBytes(fifo); });
  writeResultFile(fifo, bytes);
  reader.join();
  EXPECT_EQ(got, bytes);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(ResultFile, AReadOnlyResultIsRefusedAndLeftAsItWas) {
  TempDir dir;
  const std::string path = dir.file("out.htm");
  writeBytes(path, "old");
  ::chmod(path.c_str(), 0444);
  try {
    writeResultFile(path, "new");
    FAIL() << "a read-only result was replaced";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kFileAccess);
    EXPECT_NE(std::string(e.description()).find(path), std::string::npos) << e.description();
  }
  EXPECT_EQ(readBytes(path), "old");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms(0444));
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(ResultFile, WithoutCommitTheOldResultStays) {
  TempDir dir;
  const std::string path = dir.file("out.htm");
  writeBytes(path, "old");
  {
    ResultFile out(path);
    out.write("half of the new");
    EXPECT_EQ(entries(dir.path()), 2u);  // the temporary file beside it
  }
  EXPECT_EQ(readBytes(path), "old");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(ResultFile, AFileSizeLimitIsDiskFullNotAKillingSignal) {
  // A library host keeps SIGXFSZ as it is: the write itself must not die of it.
  TempDir dir;
  const std::string path = dir.file("out.htm");
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit limit{65536, 65536};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      writeResultFile(path, std::string(200000, 'x'));
    } catch (const RuntimeError& e) {
      ::_exit(e.number() == err::kDiskFull ? 0 : 1);
    }
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(entries(dir.path()), 0u);
}

}  // namespace
}  // namespace dorvane::file
