// The log directory of a user on a shared installation: which directory is
// taken, and every planted or loose directory refused. Another account's
// directories are made with chown, so the rows need root.
#include "al_logdir.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;
constexpr uid_t kOther = 65534;

TEST(LogDir, OwnSharedAndPlanted) {
  if (geteuid() != 0) GTEST_SKIP() << "another account's directories need root";
  test_util::TempDir dir("al_logdir_");
  ASSERT_TRUE(dir.ok());
  const std::string name = getpwuid(geteuid())->pw_name;
  const struct {
    const char* what;
    mode_t mode;       // of the base, which belongs to another account (0: ours)
    const char* mine;  // what stands at base/<name> beforehand: "", "dir", "link", "file", "theirs", "loose"
    bool own_dir;      // the logs go to base/<name>; else to base itself, or nowhere when `refused`
    bool refused;
  } rows[] = {
      {"our own base", 0, "", false, false},
      {"shared and sticky", 01777, "", true, false},
      {"shared, made before", 01777, "dir", true, false},
      {"shared, not sticky", 0777, "", false, true},
      {"a link planted", 01777, "link", false, true},
      {"a file planted", 01777, "file", false, true},
      {"another user's directory planted", 01777, "theirs", false, true},
      {"ours, but others may write to it", 01777, "loose", false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string base = dir.mkdir(row.what), mine = base + "/" + name;
    const std::string mine_what = row.mine;
    if (mine_what == "dir" || mine_what == "theirs" || mine_what == "loose") fs::create_directory(mine);
    if (mine_what == "link") fs::create_directory_symlink(dir.mkdir("elsewhere"), mine);
    if (mine_what == "file") test_util::write_file(mine, "");
    if (mine_what == "theirs") {
      ASSERT_EQ(chown(mine.c_str(), kOther, kOther), 0);
    }
    if (mine_what == "loose") {
      ASSERT_EQ(chmod(mine.c_str(), 0777), 0);
    }
    if (row.mode != 0) {
      ASSERT_EQ(chown(base.c_str(), kOther, kOther), 0);
      ASSERT_EQ(chmod(base.c_str(), row.mode), 0);
    }
    const mode_t umask_before = umask(0777);  // the owner's bits come back whatever the umask
    char out[1024] = "unchanged";
    const int result = al_log_dir_for(base.c_str(), out, sizeof out);
    umask(umask_before);
    EXPECT_EQ(result, row.refused ? -1 : 0);
    EXPECT_EQ(std::string(out), row.refused ? "" : row.own_dir ? mine : base);
    struct stat st {};
    if (row.own_dir && mine_what.empty()) {
      ASSERT_EQ(lstat(mine.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
  }
  char out[16] = "x";
  EXPECT_EQ(al_log_dir_for("", out, sizeof out), -1) << "no base: no logs";
  EXPECT_STREQ(out, "");
}

}  // namespace
