// The tree tools on trees built to break them: extreme depth and width, strange names, link
// loops, links out of the tree, special files, and a tree that changes during the walk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::ScratchDir;

const char kOld[] = " FILEVERSION 1,0,0,1\r\n";
const char kNew[] = " FILEVERSION 2, 1, 7, 0\r\n";

RunResult Stamp(const std::string& dir) {
  RunOptions options;
  options.cwd = dir;
  return testsupport::Run(STAMPWELL_BIN, {"-s", "-vf", "2.1.7"}, options);
}

// Runs Sweepwell with a home (and so a trash) inside the scratch directory `home`.
RunResult Sweep(const std::string& dir, const std::string& home,
                const std::vector<std::string>& args) {
  RunOptions options;
  options.cwd = dir;
  options.env = {"HOME=" + home, "XDG_DATA_HOME=" + home + "/.local/share"};
  return testsupport::Run(SWEEPWELL_BIN, args, options);
}

// Binds a socket at `path`; returns its descriptor.
int BindSocket(const std::string& path) {
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  EXPECT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
  EXPECT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return sock;
}

// Makes `depth` nested directories named "d" below `root`, one step at a time (their full
// paths exceed what one system call accepts), with a script at the bottom.
void MakeDeepTree(const std::string& root, int depth) {
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(mkdirat(fd, "d", 0700), 0);
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    ASSERT_GE(fd, 0);
  }
  int file = openat(fd, "deep.rc", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, kOld, sizeof kOld - 1), static_cast<ssize_t>(sizeof kOld - 1));
  close(file);
  close(fd);
}

// Reads the script at the bottom of a tree made by MakeDeepTree.
std::string ReadDeepScript(const std::string& root, int depth) {
  std::string saved = fs::current_path();
  EXPECT_EQ(chdir(root.c_str()), 0);
  for (int i = 0; i < depth; ++i) EXPECT_EQ(chdir("d"), 0);
  std::ifstream in("deep.rc", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(chdir(saved.c_str()), 0);
  return bytes;
}

TEST(HostileTree, TenThousandDirectoriesDeep) {
  ScratchDir dir;
  // Wine hands a path to Linux whole, within Linux's limit of 4096 bytes: the Windows program
  // gets a tree deeper than Windows's old limit of 260 characters.
  const int kDepth = testsupport::IsWindowsProgram(STAMPWELL_BIN) ? 300 : 10000;
  MakeDeepTree(dir.path(), kDepth);
  RunResult result = Stamp(dir.path());
  EXPECT_EQ(result.exit_code, 0) << result.err.substr(0, 500);
  size_t lines = std::count(result.out.begin(), result.out.end(), '\n');
  EXPECT_EQ(lines, kDepth + 1u);  // every directory, then the script
  EXPECT_TRUE(result.out.ends_with("/deep.rc' done\n"));
  EXPECT_EQ(ReadDeepScript(dir.path(), kDepth), kNew);
}

TEST(HostileTree, DirectoryOfTwoHundredThousandEntries) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "Wine takes minutes for such a directory");
  ScratchDir dir;
  dir.MakeDir("wide");
  const int kEntries = 200000;
  for (int i = 0; i < kEntries; ++i) {
    std::string name = dir.Path("wide/f" + std::to_string(i) + (i % 1000 == 0 ? ".rc" : ".h"));
    int fd = open(name.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    if (i % 1000 == 0) {
      ASSERT_EQ(write(fd, kOld, sizeof kOld - 1), 22);
    }
    close(fd);
  }
  RunResult result = Stamp(dir.path());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1 + kEntries / 1000);
  EXPECT_EQ(dir.Read("wide/f0.rc"), kNew);
  EXPECT_EQ(dir.Read("wide/f199000.rc"), kNew);
}

TEST(HostileTree, StrangeNamesPassThroughByteForByte) {
  ScratchDir dir;
  std::vector<std::string> names = {
      std::string(252, 'n') + ".rc",  // the longest name the file system allows
      "it's.rc",
      "%s%n%d.rc",
      " lead and trail .rc",
      "-vp.rc",
      "caf\xC3\xA9 \xE6\x97\xA5.rc"};
  std::string folder = "odd %s \xC3\xA9/";
  if (!testsupport::IsWindowsProgram(STAMPWELL_BIN)) {  // names Windows forbids
    names.insert(names.end(), {"new\nline.rc", "it's \"quoted\".rc", "\xFF\xFE not utf-8 \xC3.rc",
                               "back\\slash.rc", "*.rc"});
    folder = "odd\n%s \xE9/";
  }
  for (const std::string& name : names) dir.Write(folder + name, kOld);
  RunResult result = Stamp(dir.path());
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, testsupport::ExpectedWalk(dir.path(), [](const std::string& path) {
              return "Resource File '" + path + "' done\n";
            }));
  for (const std::string& name : names) EXPECT_EQ(dir.Read(folder + name), kNew);
}

TEST(HostileTree, LinkLoopsAndLinksOutOfTheTreeAreNotFollowed) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "Wine shows a link to a file as the file");
  ScratchDir outside;
  outside.Write("victim.rc", kOld);
  ScratchDir dir;
  dir.Write("a/b/in.rc", kOld);
  ASSERT_EQ(symlink(".", dir.Path("a/self").c_str()), 0);
  ASSERT_EQ(symlink("..", dir.Path("a/b/up").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), dir.Path("out").c_str()), 0);
  ASSERT_EQ(symlink("/", dir.Path("root").c_str()), 0);
  ASSERT_EQ(symlink(outside.Path("victim.rc").c_str(), dir.Path("victim.rc").c_str()), 0);
  ASSERT_EQ(symlink("loop2.rc", dir.Path("loop1.rc").c_str()), 0);
  ASSERT_EQ(symlink("loop1.rc", dir.Path("loop2.rc").c_str()), 0);
  RunResult result = Stamp(dir.path());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2 + 4);  // a, b; 4 scripts
  EXPECT_EQ(result.out.find("'self'"), std::string::npos);
  EXPECT_EQ(outside.Read("victim.rc"), kOld);
  EXPECT_EQ(dir.Read("a/b/in.rc"), kNew);
  EXPECT_TRUE(fs::is_symlink(dir.Path("victim.rc")));
  for (const char* link : {"victim.rc", "loop1.rc", "loop2.rc"}) {
    EXPECT_NE(result.err.find("Stampwell: left alone '" + dir.Path(link) +
                              "': symbolic link, not followed\n"),
              std::string::npos)
        << result.err;
  }
}

TEST(HostileTree, FifoAndSocketNamedLikeScriptsNeverBlock) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "FIFOs and sockets");
  ScratchDir dir;
  ASSERT_EQ(mkfifo(dir.Path("fifo.rc").c_str(), 0666), 0);
  int sock = BindSocket(dir.Path("socket.rc"));
  dir.Write("plain.rc", kOld);
  RunResult result = Stamp(dir.path());
  close(sock);
  EXPECT_EQ(result.exit_code, 1);
  for (const char* name : {"fifo.rc", "socket.rc"}) {
    EXPECT_NE(result.err.find("Stampwell: left alone '" + dir.Path(name) +
                              "': not a regular file\n"),
              std::string::npos)
        << result.err;
  }
  EXPECT_EQ(dir.Read("plain.rc"), kNew);
}

TEST(HostileTree, TreeChangingDuringTheWalk) {
  ScratchDir dir;
  for (int i = 0; i < 2000; ++i) {
    dir.Write("d" + std::to_string(i % 40) + "/s" + std::to_string(i) + ".rc", kOld);
  }
  std::atomic<bool> stop{false};
  // Scripts and folders appear and vanish while the walk runs.
  std::thread churn([&] {
    for (int round = 0; !stop; ++round) {
      std::string name = dir.Path("d" + std::to_string(round % 40) + "/churn.rc");
      std::error_code ignored;
      if (round % 2 == 0) {
        dir.Write("d" + std::to_string(round % 40) + "/churn.rc", kOld);
        fs::create_directories(dir.Path("d" + std::to_string(round % 40) + "/new"), ignored);
      } else {
        fs::remove(name, ignored);
        fs::remove_all(dir.Path("d" + std::to_string(round % 40) + "/new"), ignored);
      }
    }
  });
  RunResult result = Stamp(dir.path());
  stop = true;
  churn.join();
  EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 1) << result.err;
  EXPECT_EQ(result.signal, 0);
  for (const auto& [path, bytes] : testsupport::Snapshot(dir.path())) {
    // A script recreated between the two renames of a replacement takes the name back: the
    // backup and the new text then stay, and the run names them.
    bool named = result.err.find(fs::path(path).filename().string()) != std::string::npos;
    if (fs::path(path).extension() != ".rc") {
      ASSERT_TRUE(path.find("churn") != std::string::npos && named) << "left behind: " << path;
    } else if (path.find("churn") == std::string::npos) {
      EXPECT_EQ(bytes, kNew) << path;
    }
  }
}

TEST(HostileTree, SweepwellRemovesFifoAndSocketByNameWithoutOpeningThem) {
  SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN, "FIFOs and sockets");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-d"}, std::vector<std::string>{}}) {
    ScratchDir home;
    ScratchDir dir;
    ASSERT_EQ(mkfifo(dir.Path("x.obj").c_str(), 0666), 0);
    int sock = BindSocket(dir.Path("y.obj"));
    dir.Write("keep.cpp", "int x;");
    RunResult result = Sweep(dir.path(), home.path(), args);
    close(sock);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path("x.obj"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path("y.obj"))));
    EXPECT_TRUE(fs::exists(dir.Path("keep.cpp")));
    if (args.empty()) {
      EXPECT_TRUE(fs::is_fifo(home.Path(".local/share/Trash/files/x.obj")));
      EXPECT_TRUE(fs::is_socket(home.Path(".local/share/Trash/files/y.obj")));
    }
  }
}

TEST(HostileTree, SweepwellOnDeepWideAndStrangelyNamedTrees) {
  const bool windows = testsupport::IsWindowsProgram(SWEEPWELL_BIN);
  // Wine hands a path to Linux whole, within Linux's limit of 4096 bytes.
  const int kDepth = windows ? 300 : 3000;
  ScratchDir home;
  home.MakeDir(".local/share");  // without it, Wine's shell refuses the Recycle Bin
  ScratchDir dir;
  MakeDeepTree(dir.path(), kDepth);
  // Wine's trash names an entry after the file, plus ".trashinfo", within the same limit.
  std::vector<std::string> names = {std::string(windows ? 241 : 251, 'n') + ".obj", "%s%n.pdb",
                                    "it's.log", "caf\xC3\xA9 \xE6\x97\xA5.tmp"};
  if (!windows) {  // names Windows forbids, and links
    names.insert(names.end(), {"new\nline.obj", "\xFF\xFE.tmp", "it's \"q\".log"});
  }
  for (const std::string& name : names) dir.Write("odd/" + name, "x");
  if (!windows) {
    ASSERT_EQ(symlink("/", dir.Path("root").c_str()), 0);
    ASSERT_EQ(symlink(".", dir.Path("odd/self").c_str()), 0);
  }

  RunResult dry = Sweep(dir.path(), home.path(), {"-n"});
  EXPECT_EQ(dry.exit_code, 0) << dry.err.substr(0, 300);
  // The deep directories, "odd", and the files; one name holds a line feed of its own.
  EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'),
            static_cast<long>(kDepth + 1 + names.size() + !windows));
  EXPECT_NE(dry.out.find("Would delete file '" + dir.Path("odd/%s%n.pdb") + "'\n"),
            std::string::npos);

  RunResult trashed = Sweep(dir.path(), home.path(), {});
  // The Recycle Bin takes no path of MAX_PATH characters or more: the long name stays, named.
  EXPECT_EQ(trashed.exit_code, windows ? 1 : 0) << trashed.err.substr(0, 300);
  EXPECT_EQ(trashed.err.find("too long for the Recycle Bin; -d removes it for good") !=
                std::string::npos,
            windows);
  for (const std::string& name : names) {
    EXPECT_EQ(fs::exists(dir.Path("odd/" + name)), windows && name == names[0]) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(home.Path(".local/share/Trash/info")),
                          fs::directory_iterator()),
            static_cast<long>(names.size() - windows));
  EXPECT_EQ(ReadDeepScript(dir.path(), kDepth), kOld) << "scripts are not by-products";
}

}  // namespace
