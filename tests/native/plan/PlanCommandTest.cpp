// zvpack plan as the publisher runs it: two release folders in, packages and plan.json
// out, every package checked with the launcher's own reader (through inspect --json).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/native/support/RunProgram.h"
#include "tests/portable/support/Contents.h"
#include "tests/portable/support/FileBytes.h"

// The names in a folder, sorted.
static std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (struct dirent* item = readdir(dir)) {
    std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

static size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) count++;
  return count;
}

static const time_t OldTime = 1700000000;
static const time_t NewTime = 1765000000;

class Plan : public testing::Test {
 public:
  static std::string Dir;
  static std::string SignatureKey;
  static std::string SealingKey;

  static RunResult Run(std::vector<std::string> args) {
    const char* tool = getenv("ZVPACK");
    return RunProgram(tool ? tool : "", args, Dir);
  }

  static void SetUpTestSuite() {
    ASSERT_NE(getenv("ZVPACK"), nullptr) << "ZVPACK must name the zvpack program";
    char scratch[] = "/tmp/zv_plan_XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    Dir = scratch;
    SignatureKey = Dir + "/signature.pem";
    SealingKey = Dir + "/sealing.pem";
    for (const std::string& key : {SignatureKey, SealingKey}) {
      RunResult made = Run({"keygen", key});
      ASSERT_EQ(made.Exit, 0) << made.Err;
    }
  }

  static void TearDownTestSuite() {
    std::string command = "rm -rf '" + Dir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }

  // Fresh old/ and new/ release folders for one test, and the output path (not made).
  std::string Old, New, Out;
  void SetUp() override {
    std::string base = Dir + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : base) {
      if (c == '/' && &c > &base[Dir.size()]) c = '_';
    }
    std::string command = "rm -rf '" + base + "' && mkdir -p '" + base + "/old' '" + base + "/new'";
    ASSERT_EQ(system(command.c_str()), 0);
    Old = base + "/old";
    New = base + "/new";
    Out = base + "/out";
  }

  // A file under root with its folders, its bytes and its modification time.
  static void Put(const std::string& root, const std::string& name, const std::string& bytes,
                  time_t seconds = OldTime) {
    std::string path = root + "/" + name;
    std::string folder = path.substr(0, path.rfind('/'));
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    std::ofstream(path, std::ios::binary) << bytes;
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
  }
  // The same file in both releases.
  void PutBoth(const std::string& name, const std::string& bytes) {
    Put(Old, name, bytes);
    Put(New, name, bytes);
  }

  RunResult RunPlan(const std::string& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {
        "plan",    "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version",
        "2.1.0.7", "--from",          Old,          "--to",          New,        "--out-dir",
        out};
    // An option with a value in extra replaces the default of the same name: the tool
    // refuses an option given twice.
    for (size_t i = 0; i + 1 < extra.size(); i++) {
      auto given = std::find(args.begin(), args.end(), extra[i]);
      if (extra[i].rfind("--", 0) != 0 || given == args.end()) continue;
      *(given + 1) = extra[i + 1];
      extra.erase(extra.begin() + static_cast<std::ptrdiff_t>(i),
                  extra.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      i--;
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }

  static std::string InspectJson(const std::string& package) {
    RunResult r = Run({"inspect", "--json", "--signature-key", SignatureKey, "--sealing-key",
                       SealingKey, package});
    return r.Out;
  }

  // Every package the plan wrote, as the launcher's reader lists it.
  std::vector<std::string> Packages(const std::string& out) {
    std::vector<std::string> listed;
    for (const std::string& name : Listing(out)) {
      if (name == "plan.json") continue;
      std::string json = InspectJson(out + "/" + name);
      EXPECT_NE(json.find("\"accepted\": true"), std::string::npos) << name << ": " << json;
      EXPECT_NE(json.find("\"key_fingerprints\": {\"signature\": \""), std::string::npos) << json;
      listed.push_back(json);
    }
    return listed;
  }
};

std::string Plan::Dir;
std::string Plan::SignatureKey;
std::string Plan::SealingKey;

TEST_F(Plan, ShipsNewAndChangedContentsOnlyAndWarnsAboutRemovedFiles) {
  PutBoth("Game.dll", Contents(3000, 1));
  PutBoth("data/same.txt", Contents(1500, 2));
  Put(Old, "data/time.txt", Contents(1200, 3), OldTime);
  Put(New, "data/time.txt", Contents(1200, 3), NewTime);  // only its time changed
  Put(Old, "data/edit.txt", Contents(2500, 4));
  std::string edited = Contents(2500, 4);
  edited[2000] ^= 1;  // same size, one byte differs
  Put(New, "data/edit.txt", edited, NewTime);
  Put(Old, "data/grow.txt", Contents(2000, 5));
  Put(New, "data/grow.txt", Contents(2100, 5), NewTime);
  Put(New, "data/new.txt", Contents(700, 6), NewTime);
  Put(Old, "gone.txt", "removed in the new release");
  Put(New, ".git/config", "not shipped");
  Put(New, "data/build.log", "not shipped");

  RunResult r = RunPlan(Out, {"--exclude", ".git", "--exclude", "*.log"});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(Listing(Out), (std::vector<std::string>{"plan.json", "update-001.pkg"}));
  EXPECT_NE(r.Err.find("warning: '" + Old + "/gone.txt' is not in"), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find("1 package (at least 1 needed)"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("3 files shipped"), std::string::npos) << r.Out;

  std::string plan = ReadAll(Out + "/plan.json");
  EXPECT_NE(plan.find("\"version\": \"2.1.0.7\""), std::string::npos) << plan;
  EXPECT_NE(plan.find("\"not_removed\": [\n    \"gone.txt\"\n  ]"), std::string::npos) << plan;
  EXPECT_NE(plan.find("\"unchanged\": 3"), std::string::npos) << plan;
  EXPECT_NE(plan.find("\"fillers\": []"), std::string::npos) << plan;
  EXPECT_NE(plan.find("{\"name\": \"data\\\\edit.txt\", \"size\": 2500, \"last_write_utc\": "
                      "\"2025-12-06T05:46:40.0000000Z\", \"filler\": false}"),
            std::string::npos)
      << plan;

  std::vector<std::string> packages = Packages(Out);
  ASSERT_EQ(packages.size(), 1u);
  const std::string& listed = packages[0];
  EXPECT_NE(listed.find("\"version\": \"2.1.0.7\""), std::string::npos);
  EXPECT_EQ(CountOf(listed, "\"name\""), 3u) << listed;
  for (const char* name : {"data\\\\edit.txt", "data\\\\grow.txt", "data\\\\new.txt"}) {
    EXPECT_NE(listed.find(std::string("\"name\": \"") + name + "\""), std::string::npos) << name;
  }
  std::string size = std::to_string(ReadAll(Out + "/update-001.pkg").size());
  EXPECT_NE(plan.find("\"file\": \"update-001.pkg\",\n      \"size\": " + size), std::string::npos);
}

TEST_F(Plan, SameFoldersAndKeysGiveTheSameBytes) {
  for (int i = 0; i < 70; i++) {
    std::string name =
        "folder" + std::to_string(i % 3) + "/file-with-a-longer-name-" + std::to_string(i) + ".dat";
    Put(Old, name, Contents(100 + i, i));
    Put(New, name, Contents(120 + i, i + 1), NewTime + i);
  }
  ASSERT_EQ(RunPlan(Out + "1").Exit, 0);
  ASSERT_EQ(RunPlan(Out + "2").Exit, 0);
  std::vector<std::string> names = Listing(Out + "1");
  EXPECT_EQ(names, Listing(Out + "2"));
  EXPECT_GE(names.size(), 4u) << "70 entries of about 55 bytes need three packages";
  for (const std::string& name : names) {
    EXPECT_TRUE(ReadAll(Out + "1/" + name) == ReadAll(Out + "2/" + name)) << name;
  }
  EXPECT_EQ(Packages(Out + "1").size(), names.size() - 1);
}

// pack takes its scramble key from the contents as plan does.
TEST_F(Plan, PackOfTheSameFolderGivesTheSameBytes) {
  Put(New, "a.dll", Contents(3000, 1));
  Put(New, "data/b.txt", Contents(200, 2));
  for (const char* name : {"/first.pkg", "/second.pkg"}) {
    RunResult r = Run({"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey,
                       "--version", "1.0.0.0", "--out", Old + name, New});
    ASSERT_EQ(r.Exit, 0) << r.Err;
  }
  EXPECT_TRUE(ReadAll(Old + "/first.pkg") == ReadAll(Old + "/second.pkg"));
  EXPECT_NE(InspectJson(Old + "/first.pkg").find("\"accepted\": true"), std::string::npos);
}

// One changed 10-byte file cannot fill the sealed header: unchanged files fill it.
TEST_F(Plan, TinyChangeIsFilledWithUnchangedFiles) {
  Put(Old, "fix.cfg", "0123456789");
  Put(New, "fix.cfg", "0123456780", NewTime);
  PutBoth("readme.txt", Contents(300, 1));
  PutBoth("data/table.bin", Contents(2500, 2));
  PutBoth("data/huge.bin", Contents(40000, 3));
  RunResult r = RunPlan(Out);
  ASSERT_EQ(r.Exit, 0) << r.Err;
  std::vector<std::string> packages = Packages(Out);
  ASSERT_EQ(packages.size(), 1u);
  // The smallest single file that fills it, rewritten with its own contents and time.
  EXPECT_NE(packages[0].find("{\"name\": \"data\\\\table.bin\", \"size\": 2500, "
                             "\"last_write_utc\": \"2023-11-14T22:13:20.0000000Z\"}"),
            std::string::npos)
      << packages[0];
  EXPECT_EQ(CountOf(packages[0], "\"name\""), 2u);
  std::string plan = ReadAll(Out + "/plan.json");
  EXPECT_NE(plan.find("\"fillers\": [\n    \"data\\\\table.bin\"\n  ]"), std::string::npos) << plan;
}

// A running launcher cannot open its own file for writing, so it would wait for it
// without end: never a filler, and a warning when it is shipped.
TEST_F(Plan, LauncherIsNeverAFillerAndWarnedAboutWhenShipped) {
  Put(Old, "fix.cfg", "0123456789");
  Put(New, "fix.cfg", "0123456780", NewTime);
  PutBoth("zorvane.EXE", Contents(2000, 1));  // the smallest file that would fill it
  PutBoth("data.bin", Contents(3000, 2));
  RunResult r = RunPlan(Out);
  ASSERT_EQ(r.Exit, 0) << r.Err;
  std::string plan = ReadAll(Out + "/plan.json");
  EXPECT_NE(plan.find("\"fillers\": [\n    \"data.bin\"\n  ]"), std::string::npos) << plan;
  EXPECT_EQ(r.Err, "");

  Put(New, "zorvane.EXE", Contents(2000, 3), NewTime);
  r = RunPlan(Out + "2");
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_NE(r.Err.find("zorvane.EXE' is shipped, but a running Zorvane.exe cannot replace"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Out.find("1 warning"), std::string::npos) << r.Out;
}

// Many tiny files with long names fill every directory before the sealed header: the
// packing keeps room in each directory for a filler.
TEST_F(Plan, FullDirectoriesKeepRoomForAFiller) {
  std::string longName(100, 'n');
  for (int i = 0; i < 60; i++) {
    char name[200];
    snprintf(name, sizeof name, "%s%03d", longName.c_str(), i);
    Put(Old, name, "a");
    Put(New, name, "b", NewTime);
  }
  PutBoth("filler.bin", Contents(4000, 9));
  RunResult r = RunPlan(Out);
  ASSERT_EQ(r.Exit, 0) << r.Err;
  std::vector<std::string> packages = Packages(Out);
  EXPECT_GE(packages.size(), 5u);
  size_t shipped = 0;
  for (const std::string& listed : packages) {
    EXPECT_EQ(CountOf(listed, "\"name\": \"filler.bin\""), 1u) << listed;
    shipped += CountOf(listed, "\"name\"") - 1;
  }
  EXPECT_EQ(shipped, 60u);
}

struct Refusal {
  const char* Name;
  std::function<void(Plan*)> Make;
  std::vector<std::string> Extra;
  int Exit;
  std::string Says;  // a part of the message on standard error
};

class PlanRefusal : public Plan {
 public:
  void Check(const Refusal& c) {
    RunResult r = RunPlan(Out, c.Extra);
    EXPECT_EQ(r.Exit, c.Exit) << r.Err;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
    if (c.Exit == 2) {
      EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    }
    EXPECT_FALSE(Exists(Out)) << "nothing may be left in the output folder";
    for (const std::string& name : Listing(Out.substr(0, Out.rfind('/')))) {
      EXPECT_EQ(name.find("incomplete"), std::string::npos) << name;
    }
  }
};

TEST_F(PlanRefusal, NamesTheFileAndTheLimit) {
  const uint32_t largest = 16777216 - 452 - 25 - 8;  // for the 8-character "huge.bin"
  const Refusal cases[] = {
      {"folder_missing_in_old",
       [](Plan* t) { Put(t->New, "maps/new/forest.map", Contents(3000, 1)); },
       {},
       2,
       "forest.map': its folder 'maps\\new' does not exist in"},
      {"name_is_a_folder_in_old",
       [](Plan* t) {
         Put(t->Old, "x/inner.txt", "old");
         Put(t->New, "x", Contents(3000, 1));
       },
       {},
       2,
       "is a folder, which the launcher cannot replace by a file"},
      {"file_too_large",
       [=](Plan* t) {
         Put(t->New, "huge.bin", "");
         ASSERT_EQ(truncate((t->New + "/huge.bin").c_str(), largest + 1), 0);
       },
       {},
       2,
       "at most " + std::to_string(largest) + " fit in a package of 16777216"},
      {"name_with_a_dot",
       [](Plan* t) { Put(t->New, ".hidden", Contents(3000, 1)); },
       {},
       2,
       "/.hidden': the name or one of its path components begins with '.'"},
      {"name_not_ascii",
       [](Plan* t) { Put(t->New, "caf\xe9.txt", Contents(3000, 1)); },
       {},
       2,
       "byte 3 of the name is not printable ASCII"},
      {"name_too_long",
       [](Plan* t) {
         t->PutBoth("folder/keep.txt", "kept");
         Put(t->New, "folder/" + std::string(249, 'n'), Contents(3000, 1));
       },
       {},
       2,
       "the name is 256 bytes long: at most 255"},
      {"one_windows_file",
       [](Plan* t) {
         Put(t->New, "Readme.txt", Contents(3000, 1));
         Put(t->New, "README.TXT", Contents(3000, 2));
       },
       {},
       2,
       "are one file on Windows"},
      {"nothing_to_fill_with",
       [](Plan* t) {
         Put(t->Old, "fix.cfg", "0123456789");
         Put(t->New, "fix.cfg", "0123456780");
       },
       {},
       2,
       "1814 more bytes are needed, and the new release has no unchanged file"},
      {"not_enough_to_fill_with",
       [](Plan* t) {
         Put(t->Old, "fix.cfg", "0123456789");
         Put(t->New, "fix.cfg", "0123456780");
         t->PutBoth("a.txt", "abcde");  // 35 of the 1814 bytes
       },
       {},
       2,
       "1779 more bytes are needed, and the new release has not enough unchanged files"},
      {"output_not_empty",
       [](Plan* t) {
         Put(t->New, "a.txt", Contents(3000, 1));
         Put(t->Out, "keep.txt", "mine");
       },
       {},
       2,
       "exists and is not an empty folder"},
      {"link_in_a_release",
       [](Plan* t) {
         Put(t->New, "a.txt", Contents(3000, 1));
         ASSERT_EQ(symlink("/etc/hostname", (t->New + "/host.txt").c_str()), 0);
       },
       {},
       2,
       "host.txt' is a symbolic link (to '/etc/hostname')"},
      {"missing_folder_option", [](Plan*) {}, {"--from"}, 1, "missing value after --from"},
      {"repeated_option",
       [](Plan*) {},
       {"--follow-links", "--follow-links"},
       1,
       "option given more than once: --follow-links"},
      {"bad_version", [](Plan*) {}, {"--version", "1.2.3"}, 1, "the version must be A.B.C.D"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    c.Make(this);
    if (std::string(c.Name) == "output_not_empty") {
      RunResult r = RunPlan(Out);
      EXPECT_EQ(r.Exit, 2);
      EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
      EXPECT_EQ(Listing(Out), std::vector<std::string>{"keep.txt"});
      continue;
    }
    Check(c);
  }
}
