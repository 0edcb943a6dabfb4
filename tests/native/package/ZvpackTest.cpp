// zvpack as the publisher runs it: keygen, pack, inspect, every refusal and usage error.
// The launcher's reader checks the packed bytes in-process as well.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/native/support/RunProgram.h"
#include "tests/portable/support/CaseName.h"
#include "tests/portable/support/Contents.h"
#include "tests/portable/support/FileBytes.h"
#include "tools/zvpack/PackerFiles.h"
#include "tools/zvpack/PackerKeys.h"
#include "updater/Package.h"

static bool CanRunUnprivileged() { return geteuid() != 0 || Nobody() != nullptr; }

// Gives path to the user unprivileged runs take, so that such a run can write there.
static void GiveToUnprivileged(const std::string& path) {
  if (geteuid() == 0 && Nobody()) {
    EXPECT_EQ(chown(path.c_str(), Nobody()->pw_uid, Nobody()->pw_gid), 0) << path;
  }
}

class Zvpack : public testing::Test {
 protected:
  static std::string Dir;  // scratch folder of the whole suite
  static std::string SignatureKey;
  static std::string SealingKey;

  static RunResult Run(std::vector<std::string> args, const RunLimits& limits = {0, 0, false}) {
    const char* tool = getenv("ZVPACK");
    return RunProgram(tool ? tool : "", args, Dir, limits);
  }

  static void SetUpTestSuite() {
    ASSERT_NE(getenv("ZVPACK"), nullptr) << "ZVPACK must name the zvpack program";
    char scratch[] = "/tmp/zv_zvpack_XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    Dir = scratch;
    // Unprivileged runs read the keys and the inputs here, and write their output beside.
    ASSERT_EQ(chmod(Dir.c_str(), 0755), 0);
    SignatureKey = Dir + "/signature.pem";
    SealingKey = Dir + "/sealing.pem";
    for (const std::string& key : {SignatureKey, SealingKey}) {
      RunResult made = Run({"keygen", key});
      ASSERT_EQ(made.Exit, 0) << made.Err;
      std::string readable = Readable(key);
      WriteAll(readable, ReadAll(key));
      ASSERT_EQ(chmod(readable.c_str(), 0644), 0);
    }
  }

  // A copy of a key that an unprivileged run can read.
  static std::string Readable(const std::string& key) { return key + ".readable"; }

  static void TearDownTestSuite() {
    std::string command = "rm -rf '" + Dir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }

  // A fresh, empty folder for one test.
  static std::string Fresh(const char* name) {
    std::string path = Dir + "/" + name;
    std::string command = "rm -rf '" + path + "' && mkdir -p '" + path + "'";
    EXPECT_EQ(system(command.c_str()), 0);
    return path;
  }

  static RunResult Pack(const std::string& out, std::vector<std::string> inputs,
                        const std::string& version = "1.2.3.4",
                        const RunLimits& limits = {0, 0, false}) {
    std::string signature = limits.Unprivileged ? Readable(SignatureKey) : SignatureKey;
    std::string sealing = limits.Unprivileged ? Readable(SealingKey) : SealingKey;
    std::vector<std::string> args = {"pack",          "--signature-key", signature,
                                     "--sealing-key", sealing,           "--version",
                                     version,         "--out",           out};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return Run(args, limits);
  }

  static RunResult Inspect(const std::string& package) {
    return Run({"inspect", "--signature-key", SignatureKey, "--sealing-key", SealingKey, package});
  }
};

std::string Zvpack::Dir;
std::string Zvpack::SignatureKey;
std::string Zvpack::SealingKey;

static void SetModified(const std::string& path, time_t seconds, long nanoseconds) {
  struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

struct SourceFile {
  std::string Name;  // as the package names it
  std::string Path;  // relative to the folder
  size_t Size;
  time_t Seconds;
  long Nanoseconds;
  const char* ListedTime;  // as inspect prints it
};

TEST_F(Zvpack, KeygenWritesAPrivateKeyForItsOwnerAndNeverOverwrites) {
  struct stat info;
  ASSERT_EQ(stat(SignatureKey.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EVP_PKEY* key = LoadPackerKey(SignatureKey.c_str(), true);
  EXPECT_NE(key, nullptr);
  EVP_PKEY_free(key);

  std::string before = ReadAll(SignatureKey);
  RunResult again = Run({"keygen", SignatureKey});
  EXPECT_EQ(again.Exit, 2);
  EXPECT_NE(again.Err.find("already exists"), std::string::npos) << again.Err;
  EXPECT_EQ(ReadAll(SignatureKey), before);
}

TEST_F(Zvpack, FolderRoundTripGivesBackEveryNameSizeTimeAndByte) {
  std::string folder = Fresh("roundtrip");
  std::string longComponent(250, 'n');
  const SourceFile files[] = {
      {"a.dll", "a.dll", 3000, 981173106, 123456700, "2001-02-03 04:05:06.1234567"},
      {"long\\" + longComponent, "long/" + longComponent, 17, 0, 0, "1970-01-01 00:00:00.0000000"},
      {"sub\\deep\\x.cfg", "sub/deep/x.cfg", 1, 1700000000, 999999900,
       "2023-11-14 22:13:20.9999999"},
      {"sub\\empty", "sub/empty", 0, 1234567890, 0, "2009-02-13 23:31:30.0000000"},
  };
  ASSERT_EQ(files[1].Name.size(), 255u);
  EXPECT_EQ(system(("mkdir -p '" + folder + "/sub/deep' '" + folder + "/long'").c_str()), 0);
  unsigned seed = 1;
  for (const SourceFile& file : files) {
    WriteAll(folder + "/" + file.Path, Contents(file.Size, seed++));
    SetModified(folder + "/" + file.Path, file.Seconds, file.Nanoseconds);
  }

  std::string package = Dir + "/roundtrip.zvp";
  RunResult packed = Pack(package, {folder}, "2.0.10.255");
  ASSERT_EQ(packed.Exit, 0) << packed.Err;
  std::string stored = ReadAll(package);

  RunResult listed = Inspect(package);
  ASSERT_EQ(listed.Exit, 0) << listed.Err;
  EXPECT_NE(listed.Out.find("Version 2.0.10.255, 4 entries"), std::string::npos) << listed.Out;
  std::istringstream lines(listed.Out);
  std::string line;
  std::getline(lines, line);              // accepted
  std::getline(lines, line);              // version
  std::getline(lines, line);              // column heads
  for (const SourceFile& file : files) {  // already in the order zvpack sorts them
    ASSERT_TRUE(std::getline(lines, line));
    char expected[600];
    snprintf(expected, sizeof expected, "%10zu  %s  %s", file.Size, file.ListedTime,
             file.Name.c_str());
    EXPECT_EQ(line, expected);
  }
  EXPECT_EQ(ReadAll(package), stored) << "inspect must leave the package as it is";

  // --body-out replaces an existing regular file with the unsealed body.
  std::string body = Dir + "/roundtrip.body";
  WriteAll(body, "an older body");
  RunResult written = Run({"inspect", "--signature-key", SignatureKey, "--sealing-key", SealingKey,
                           "--body-out", body, package});
  ASSERT_EQ(written.Exit, 0) << written.Err;
  EXPECT_EQ(written.Out, listed.Out);

  // The launcher's own reader, in-process, on a copy: every byte is what was packed.
  PackerPublicKey signature;
  PackerPublicKey sealing;
  EVP_PKEY* s = LoadPackerKey(SignatureKey.c_str(), false);
  EVP_PKEY* z = LoadPackerKey(SealingKey.c_str(), false);
  ASSERT_TRUE(s && z && ToPackageKey(s, &signature) && ToPackageKey(z, &sealing));
  EVP_PKEY_free(s);
  EVP_PKEY_free(z);
  std::string copy = Dir + "/roundtrip-copy.zvp";
  WriteAll(copy, stored);
  ASSERT_EQ(ReadPackage(copy.c_str(), &signature.Key), 0);
  ASSERT_EQ(UnsealPackage(&sealing.Key), 0);
  EXPECT_EQ(ReadAll(body), std::string(reinterpret_cast<char*>(PackageBuffer), PackageBodyLength));
  ASSERT_EQ(PackageEntryCount, 4u);
  seed = 1;
  for (uint32_t k = 0; k < 4; k++) {
    const SourceFile& file = files[k];
    const PackageEntry& entry = PackageEntries[k];
    EXPECT_EQ(std::string(entry.Name), file.Name);
    ASSERT_EQ(entry.DataSize, file.Size);
    EXPECT_EQ(
        std::string(reinterpret_cast<char*>(PackageBuffer) + entry.DataOffset, entry.DataSize),
        Contents(file.Size, seed++))
        << file.Name;
    uint64_t ticks = (static_cast<uint64_t>(file.Seconds) + 11644473600u) * 10000000u +
                     static_cast<uint64_t>(file.Nanoseconds) / 100;
    EXPECT_EQ(entry.LastWriteTime.LowDateTime, static_cast<uint32_t>(ticks));
    EXPECT_EQ(entry.LastWriteTime.HighDateTime, static_cast<uint32_t>(ticks >> 32));
  }
}

TEST_F(Zvpack, PairsKeepTheirOrderAndNames) {
  std::string folder = Fresh("pairs");
  WriteAll(folder + "/one", Contents(2500, 1));
  WriteAll(folder + "/two", Contents(10, 2));
  std::string package = Dir + "/pairs.zvp";
  RunResult packed = Pack(package, {"z/last.dll=" + folder + "/one", "a.dll=" + folder + "/two"});
  ASSERT_EQ(packed.Exit, 0) << packed.Err;
  RunResult listed = Inspect(package);
  ASSERT_EQ(listed.Exit, 0) << listed.Err;
  size_t first = listed.Out.find("  z/last.dll\n");
  size_t second = listed.Out.find("  a.dll\n");
  ASSERT_NE(first, std::string::npos) << listed.Out;
  ASSERT_NE(second, std::string::npos) << listed.Out;
  EXPECT_LT(first, second);
}

// The texts are the launcher's; the package itself survives every verdict.
TEST_F(Zvpack, InspectRejectsWithTheLaunchersTexts) {
  std::string folder = Fresh("inspect");
  WriteAll(folder + "/f.dll", Contents(4000, 3));
  std::string good = Dir + "/inspect.zvp";
  ASSERT_EQ(Pack(good, {folder}).Exit, 0);
  std::string bytes = ReadAll(good);

  struct Verdict {
    const char* File;
    size_t Flip;  // byte changed, or npos
    bool SwapKeys;
    const char* Text;
  } verdicts[] = {
      {"corrupt.zvp", 3000, false, "Update package '%s' is corrupt (error -3)\n"},
      {"tag.zvp", bytes.size() - 258, false, "Invalid update package '%s' (error -2)\n"},
      {"sealing.zvp", std::string::npos, true, "Error while preparing update package (error -2)\n"},
      {"missing.zvp", std::string::npos, false, "Unable to read update package '%s' (error -1)\n"},
  };
  for (const Verdict& verdict : verdicts) {
    std::string path = Dir + "/" + verdict.File;
    std::string variant = bytes;
    if (verdict.Flip != std::string::npos) variant[verdict.Flip] ^= 0x10;
    bool missing = strcmp(verdict.File, "missing.zvp") == 0;
    if (!missing) WriteAll(path, variant);
    RunResult result =
        verdict.SwapKeys
            ? Run({"inspect", "--signature-key", SignatureKey, "--sealing-key", SignatureKey, path})
            : Inspect(path);
    char text[600];
    snprintf(text, sizeof text, verdict.Text, path.c_str());
    EXPECT_EQ(result.Exit, 2) << verdict.File;
    EXPECT_EQ(result.Err, text);
    EXPECT_EQ(Exists(path), !missing) << verdict.File;
    if (!missing) {
      EXPECT_EQ(ReadAll(path), variant) << verdict.File;
    }
  }
}

// Each refusal names its cause and the file at fault, and leaves no output behind.
struct Refusal {
  const char* Name;
  void (*Make)(const std::string& folder, std::vector<std::string>* inputs);
  const char* Cause;
  const char* File;  // part of the message naming the file, or null
};

static void Files(const std::string& folder, int count, size_t size) {
  for (int i = 0; i < count; i++) WriteAll(folder + "/" + std::to_string(i), Contents(size, i));
}

static void SparseFile(const std::string& path, off_t size) {
  int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  ASSERT_EQ(ftruncate(file, size), 0);
  close(file);
}

static const Refusal Refusals[] = {
    {"no files", [](const std::string& f, std::vector<std::string>* in) { in->push_back(f); },
     "no files to pack", nullptr},
    {"58 files",
     [](const std::string& f, std::vector<std::string>* in) {
       Files(f, 58, 40);
       in->push_back(f);
     },
     "58 files: at most 57 fit", nullptr},
    {"directory past 1696",
     [](const std::string& f, std::vector<std::string>* in) {
       for (char c = 'a'; c < 'a' + 6; c++)
         WriteAll(f + "/" + std::string(250, c), Contents(500, c));
       in->push_back(f);
     },
     "the package directory would end at offset 1842, past 1696", "/ffffffffff"},
    {"hidden file",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/.hidden", Contents(3000, 1));
       in->push_back(f);
     },
     "begins with '.'", "/.hidden'"},
    {"hidden folder",
     [](const std::string& f, std::vector<std::string>* in) {
       mkdir((f + "/sub").c_str(), 0755);
       mkdir((f + "/sub/.git").c_str(), 0755);
       WriteAll(f + "/sub/.git/HEAD", Contents(3000, 1));
       in->push_back(f);
     },
     "begins with '.' (byte 4)", "/sub/.git/HEAD'"},
    {"dot after a blank",
     [](const std::string& f, std::vector<std::string>* in) {
       in->push_back("a .x=" + f + "/data");
       WriteAll(f + "/data", Contents(3000, 1));
     },
     "begins with '.' (byte 2)", "/data'"},
    {"two names for one Windows file",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/data", Contents(3000, 1));
       WriteAll(f + "/other", Contents(30, 2));
       in->push_back("Sub/Readme.txt=" + f + "/data");
       in->push_back("sub\\README.TXT=" + f + "/other");
     },
     "the name is the same file on Windows as entry 0's", "/other'"},
    {"byte 0xE9 in a name",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/caf\xE9", Contents(3000, 1));
       in->push_back(f);
     },
     "byte 3 of the name is not printable ASCII", "/caf\xE9'"},
    {"empty name",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/data", Contents(3000, 1));
       in->push_back("=" + f + "/data");
     },
     "the name is empty", "/data'"},
    {"256-byte name",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/data", Contents(3000, 1));
       in->push_back(std::string(256, 'n') + "=" + f + "/data");
     },
     "the name is 256 bytes long: at most 255", "/data'"},
    {"file over 16 MiB",
     [](const std::string& f, std::vector<std::string>* in) {
       SparseFile(f + "/big", 16777217);
       in->push_back(f);
     },
     "the file is 16777217 bytes long: at most 16777216", "/big'"},
    {"package over 16 MiB",
     [](const std::string& f, std::vector<std::string>* in) {
       SparseFile(f + "/a", 8388608);
       SparseFile(f + "/b", 8388608);
       in->push_back(f);
     },
     "the package would be 16777720 bytes long: at most 16777216", nullptr},
    {"too small for the sealed header",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/x.txt", Contents(10, 1));
       in->push_back(f);
     },
     "too small to fill the 2048-byte sealed header: 1816 more bytes", nullptr},
    {"not a regular file",
     [](const std::string& f, std::vector<std::string>* in) {
       in->push_back("x=/dev/null");
       (void)f;
     },
     "'/dev/null' is not a regular file", nullptr},
    {"missing file",
     [](const std::string& f, std::vector<std::string>* in) { in->push_back("x=" + f + "/none"); },
     "cannot read", "/none'"},
    {"link out of the folder",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/a.dll", Contents(3000, 1));
       WriteAll(f + "-outside.txt", "private");
       EXPECT_EQ(symlink((f + "-outside.txt").c_str(), (f + "/leak.txt").c_str()), 0);
       in->push_back(f);
     },
     "is a symbolic link (to '", "/leak.txt'"},
    {"link inside the folder",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/a.dll", Contents(3000, 1));
       EXPECT_EQ(symlink("a.dll", (f + "/b.dll").c_str()), 0);
       in->push_back(f);
     },
     "give --follow-links", "/b.dll'"},
    {"followed link back to a folder above",
     [](const std::string& f, std::vector<std::string>* in) {
       WriteAll(f + "/a.dll", Contents(3000, 1));
       mkdir((f + "/sub").c_str(), 0755);
       EXPECT_EQ(symlink("..", (f + "/sub/up").c_str()), 0);
       in->push_back("--follow-links");
       in->push_back(f);
     },
     "leads back to '", "/sub/up'"},
};

static void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.Name; }

class ZvpackRefusal : public Zvpack, public testing::WithParamInterface<Refusal> {};

TEST_P(ZvpackRefusal, NamesTheCauseAndWritesNothing) {
  const Refusal& refusal = GetParam();
  std::string folder = Fresh("refusal");
  std::string outFolder = Fresh("refusal-out");
  std::vector<std::string> inputs;
  refusal.Make(folder, &inputs);
  std::string package = outFolder + "/out.zvp";
  RunResult result = Pack(package, inputs);
  EXPECT_EQ(result.Exit, 2) << result.Err;
  EXPECT_NE(result.Err.find(refusal.Cause), std::string::npos) << result.Err;
  EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 1) << "one line:\n"
                                                                       << result.Err;
  if (refusal.File) {
    EXPECT_NE(result.Err.find(refusal.File), std::string::npos) << result.Err;
  }
  EXPECT_EQ(system(("test -z \"$(ls -A '" + outFolder + "')\"").c_str()), 0)
      << "a refused run must leave no file behind";
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackRefusal, testing::ValuesIn(Refusals), CaseName<Refusal>);

// Names Windows cannot create as given, or that name one file twice: each made the
// launcher wait for ever on a file it can never open. Null Cause: the names are packed.
struct NameRule {
  std::vector<std::string> Names;  // packed in this order, all from one file
  const char* Cause;
};

static const NameRule NameRules[] = {
    {{"CON"}, "is a Windows device name"},
    {{"con.txt"}, "is a Windows device name"},
    {{"data\\Nul"}, "at byte 5 is a Windows device name"},
    {{"aux.tar.gz"}, "is a Windows device name"},
    {{"PRN"}, "is a Windows device name"},
    {{"com1"}, "is a Windows device name"},
    {{"COM9.log"}, "is a Windows device name"},
    {{"lpt1\\x.txt"}, "at byte 0 is a Windows device name"},
    {{"LPT9"}, "is a Windows device name"},
    {{"CONIN$"}, "is a Windows device name"},
    {{"conout$.txt"}, "is a Windows device name"},
    {{"readme."}, "ends in '.' or ' ' (byte 6)"},
    {{"readme "}, "ends in '.' or ' ' (byte 6)"},
    {{"data.\\x.txt"}, "ends in '.' or ' ' (byte 4)"},
    {{"data \\x.txt"}, "ends in '.' or ' ' (byte 4)"},
    {{"a<b"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"a>b"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"Z:..\\p.txt"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"Z:p.txt"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"file.txt:stream"}, "byte 8 of the name is one of <>:\"|?*"},
    {{"a\"b"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"a|b"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"a?b"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"a*b"}, "byte 1 of the name is one of <>:\"|?*"},
    {{"d\\\\x"}, "empty path component at byte 2"},
    {{"d//x"}, "empty path component at byte 2"},
    {{"d\\"}, "empty path component at byte 2"},
    {{"\\x.txt"}, "begins with a separator"},
    {{"/x.txt"}, "begins with a separator"},
    {{"Data/Items.txt", "data\\ITEMS.TXT"}, "the same file on Windows as entry 0's"},
    {{"console.txt", "com10", "lpt", "nul_", "CONIN", "x.con", "a b.txt", "x.y.z", "d\\e f\\g"},
     nullptr},
};

static void PrintTo(const NameRule& rule, std::ostream* out) { *out << rule.Names.back(); }

class ZvpackName : public Zvpack, public testing::WithParamInterface<NameRule> {};

TEST_P(ZvpackName, RefusedWithTheNameAndTheReason) {
  const NameRule& rule = GetParam();
  std::string folder = Fresh("name");
  WriteAll(folder + "/data", Contents(3000, 1));
  std::vector<std::string> inputs;
  for (const std::string& name : rule.Names) inputs.push_back(name + "=" + folder + "/data");
  std::string package = folder + "-out.zvp";
  remove(package.c_str());
  RunResult result = Pack(package, inputs);
  if (!rule.Cause) {
    EXPECT_EQ(result.Exit, 0) << result.Err;
    return;
  }
  EXPECT_EQ(result.Exit, 2) << result.Err;
  std::string named = "the name '" + rule.Names.back() + "' of '" + folder + "/data': ";
  EXPECT_NE(result.Err.find(named), std::string::npos) << result.Err;
  EXPECT_NE(result.Err.find(rule.Cause), std::string::npos) << result.Err;
  EXPECT_FALSE(Exists(package));
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackName, testing::ValuesIn(NameRules),
                         [](const testing::TestParamInfo<NameRule>& info) {
                           std::string name = std::to_string(info.index) + "_";
                           for (char c : info.param.Names.back()) {
                             name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

// What lies in a folder, links and special files included, to see that a refused run
// changed nothing there.
static std::string Snapshot(const std::string& folder) {
  std::string listing;
  DIR* items = opendir(folder.c_str());
  if (!items) return "(cannot read " + folder + ")";
  std::vector<std::string> names;
  while (struct dirent* item = readdir(items)) {
    if (strcmp(item->d_name, ".") != 0 && strcmp(item->d_name, "..") != 0) {
      names.push_back(item->d_name);
    }
  }
  closedir(items);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + "/" + name;
    struct stat info;
    lstat(path.c_str(), &info);
    listing += name + " " + std::to_string(info.st_mode) + " ";
    if (S_ISLNK(info.st_mode)) {
      char target[PATH_MAX] = {};
      listing += std::string("-> ") +
                 (readlink(path.c_str(), target, sizeof target - 1) > 0 ? target : "?");
    } else if (S_ISREG(info.st_mode)) {
      listing += std::to_string(std::hash<std::string>()(ReadAll(path)));
    } else if (S_ISDIR(info.st_mode)) {
      listing += "{" + Snapshot(path) + "}";
    }
    listing += "\n";
  }
  return listing;
}

// An output that is not a regular file, or that is one of the inputs, is refused and
// left exactly as it was.
struct OutputRefusal {
  const char* Name;
  // Makes the files in folder and returns the arguments (none: cannot be made here).
  std::vector<std::string> (*Make)(const std::string& folder, const std::string& signature,
                                   const std::string& sealing, const std::string& package);
  const char* Cause;
};

static std::vector<std::string> PackArgs(const std::string& signature, const std::string& sealing,
                                         const std::string& out, std::vector<std::string> inputs) {
  std::vector<std::string> args = {"pack",          "--signature-key", signature,
                                   "--sealing-key", sealing,           "--version",
                                   "1.0.0.0",       "--out",           out};
  args.insert(args.end(), inputs.begin(), inputs.end());
  return args;
}

static std::vector<std::string> InspectArgs(const std::string& signature,
                                            const std::string& sealing, const std::string& body,
                                            const std::string& package) {
  return {"inspect", "--signature-key", signature, "--sealing-key",
          sealing,   "--body-out",      body,      package};
}

static const OutputRefusal OutputRefusals[] = {
    {"a device",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       // A node of its own for /dev/null's device: without the check it, not the
       // machine's /dev/null, is what gets replaced. Only root can make one.
       if (mknod((f + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
         return std::vector<std::string>();
       return PackArgs(s, z, f + "/null", {"x=" + f + "/data"});
     },
     "exists and is a device: only a regular file is replaced"},
    {"a FIFO",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       EXPECT_EQ(mkfifo((f + "/fifo").c_str(), 0644), 0);
       return PackArgs(s, z, f + "/fifo", {"x=" + f + "/data"});
     },
     "exists and is a FIFO"},
    {"a symbolic link",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       WriteAll(f + "/target.zvp", "kept");
       EXPECT_EQ(symlink("target.zvp", (f + "/link.zvp").c_str()), 0);
       return PackArgs(s, z, f + "/link.zvp", {"x=" + f + "/data"});
     },
     "exists and is a symbolic link"},
    {"a folder",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       mkdir((f + "/out.zvp").c_str(), 0755);
       return PackArgs(s, z, f + "/out.zvp", {"x=" + f + "/data"});
     },
     "exists and is a folder"},
    {"the signature key",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       return PackArgs(s, z, s, {"x=" + f + "/data"});
     },
     "is the signature key file"},
    {"the sealing key through another path",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       return PackArgs(s, z, f + "/./" + z.substr(f.size() + 1), {"x=" + f + "/data"});
     },
     "is the sealing key file"},
    {"a file to pack",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       return PackArgs(s, z, f + "/data", {"x=" + f + "/data"});
     },
     "is one of the files to pack"},
    {"a file reached through a followed link",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       mkdir((f + "/in").c_str(), 0755);
       EXPECT_EQ(symlink("../data", (f + "/in/data").c_str()), 0);
       return PackArgs(s, z, f + "/data", {"--follow-links", f + "/in"});
     },
     "is one of the files to pack"},
    {"a new file inside the packed folder",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string&) {
       mkdir((f + "/in").c_str(), 0755);
       WriteAll(f + "/in/a.dll", Contents(3000, 2));
       return PackArgs(s, z, f + "/in/update.zvp", {f + "/in"});
     },
     "is inside the folder being packed"},
    {"inspect: the package itself",
     [](const std::string&, const std::string& s, const std::string& z, const std::string& p) {
       return InspectArgs(s, z, p, p);
     },
     "is the package"},
    {"inspect: a key file",
     [](const std::string&, const std::string& s, const std::string& z, const std::string& p) {
       return InspectArgs(s, z, z, p);
     },
     "is the sealing key file"},
    {"inspect: a FIFO",
     [](const std::string& f, const std::string& s, const std::string& z, const std::string& p) {
       EXPECT_EQ(mkfifo((f + "/body").c_str(), 0644), 0);
       return InspectArgs(s, z, f + "/body", p);
     },
     "exists and is a FIFO"},
};

static void PrintTo(const OutputRefusal& refusal, std::ostream* out) { *out << refusal.Name; }

class ZvpackOutput : public Zvpack, public testing::WithParamInterface<OutputRefusal> {};

TEST_P(ZvpackOutput, IsRefusedAndLeftAsItWas) {
  const OutputRefusal& refusal = GetParam();
  std::string folder = Fresh("output");
  std::string signature = folder + "/s.pem";
  std::string sealing = folder + "/z.pem";
  WriteAll(signature, ReadAll(SignatureKey));
  WriteAll(sealing, ReadAll(SealingKey));
  WriteAll(folder + "/data", Contents(3000, 1));
  std::string package = folder + "/good.zvp";
  ASSERT_EQ(Pack(package, {"x=" + folder + "/data"}).Exit, 0);
  std::vector<std::string> args = refusal.Make(folder, signature, sealing, package);
  if (args.empty()) GTEST_SKIP() << "cannot make a device node here (not root)";
  std::string before = Snapshot(folder);
  RunResult result = Run(args);
  EXPECT_EQ(result.Exit, 2) << result.Err;
  EXPECT_NE(result.Err.find(refusal.Cause), std::string::npos) << result.Err;
  EXPECT_EQ(Snapshot(folder), before);
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackOutput, testing::ValuesIn(OutputRefusals),
                         CaseName<OutputRefusal>);

TEST_F(Zvpack, FollowLinksPacksWhatTheLinksLeadTo) {
  std::string folder = Fresh("follow");
  std::string outside = Fresh("follow-outside");
  WriteAll(outside + "/shared.dll", Contents(3000, 1));
  WriteAll(folder + "/own.txt", Contents(10, 2));
  EXPECT_EQ(symlink((outside + "/shared.dll").c_str(), (folder + "/shared.dll").c_str()), 0);
  EXPECT_EQ(symlink(outside.c_str(), (folder + "/lib").c_str()), 0);
  std::string package = Dir + "/follow.zvp";
  RunResult packed = Pack(package, {"--follow-links", folder});
  ASSERT_EQ(packed.Exit, 0) << packed.Err;
  RunResult listed = Inspect(package);
  ASSERT_EQ(listed.Exit, 0) << listed.Err;
  for (const char* line : {"  3000  ", "  lib\\shared.dll\n", "  own.txt\n", "  shared.dll\n"}) {
    EXPECT_NE(listed.Out.find(line), std::string::npos) << line << "\n" << listed.Out;
  }
}

// A file swapped after the folder was listed and before it is read: what was opened is
// checked before anything is read from it, and a FIFO cannot stop the run.
struct Swap {
  const char* Name;
  void (*Make)(const std::string& path, const std::string& outside);
  const char* Cause;
};

static const Swap Swaps[] = {
    {"FIFO",
     [](const std::string& p, const std::string&) {
       EXPECT_EQ(unlink(p.c_str()), 0);
       EXPECT_EQ(mkfifo(p.c_str(), 0644), 0);
     },
     "was replaced by something that is not a regular file"},
    {"folder",
     [](const std::string& p, const std::string&) {
       EXPECT_EQ(unlink(p.c_str()), 0);
       EXPECT_EQ(mkdir(p.c_str(), 0755), 0);
     },
     "was replaced by something that is not a regular file"},
    {"link to a file outside",
     [](const std::string& p, const std::string& outside) {
       WriteAll(outside, Contents(3000, 9));
       EXPECT_EQ(unlink(p.c_str()), 0);
       EXPECT_EQ(symlink(outside.c_str(), p.c_str()), 0);
     },
     "was replaced by a symbolic link after it was listed"},
    {"another file of the same size",
     [](const std::string& p, const std::string& outside) {
       WriteAll(outside, Contents(3000, 9));
       EXPECT_EQ(rename(outside.c_str(), p.c_str()), 0);
     },
     "was replaced by another file"},
    {"longer",
     [](const std::string& p, const std::string&) {
       std::ofstream(p, std::ios::binary | std::ios::app) << "x";
     },
     "changed size"},
};

static void PrintTo(const Swap& swap, std::ostream* out) { *out << swap.Name; }

class ZvpackSwap : public Zvpack, public testing::WithParamInterface<Swap> {};

TEST_P(ZvpackSwap, BetweenListingAndReadingIsRefused) {
  const Swap& swap = GetParam();
  std::string folder = Fresh("swap");
  WriteAll(folder + "/a.dll", Contents(3000, 1));
  WriteAll(folder + "/b.dll", Contents(3000, 2));
  static PackFileList list;
  ASSERT_TRUE(GatherFolder(folder.c_str(), &list));
  ASSERT_EQ(list.Count, 2u);
  list.Entries[1].DataOffset = 3000;
  swap.Make(folder + "/b.dll", Dir + "/swap-outside");

  // The read runs in a child bounded by an alarm, so a read that blocks fails the test
  // instead of hanging it.
  std::string err = Dir + "/swap-stderr";
  pid_t child = fork();
  if (child == 0) {
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(e, 2);
    alarm(10);
    static uint8_t image[6000];
    _exit(ReadPackFiles(&list, image) ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "the read blocked";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  std::string text = ReadAll(err);
  EXPECT_NE(text.find("'" + folder + "/b.dll' " + swap.Cause), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackSwap, testing::ValuesIn(Swaps), CaseName<Swap>);

// Key files zvpack refuses, each with its reason, given as the sealing key of a pack.
struct KeyRefusal {
  const char* Name;
  // A shell command that makes the key file $K (with $S and $Z the suite's keys), or null.
  const char* Make;
  const char* Cause;
};

static const KeyRefusal KeyRefusals[] = {
    {"missing", nullptr, "cannot open key file '%s': No such file or directory"},
    {"a folder", "mkdir \"$K\"", "cannot read key file '%s': Is a directory"},
    {"not PEM", "echo 'not a key' > \"$K\"", "key file '%s' is not an unencrypted RSA key"},
    {"encrypted",
     "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -aes-128-cbc -pass pass:x "
     "-out \"$K\"",
     "key file '%s' is not an unencrypted RSA key"},
    {"public", "openssl rsa -in \"$Z\" -pubout -out \"$K\"",
     "key file '%s': it is a public key; packing needs the private key"},
    {"1024 bits", "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out \"$K\"",
     "key file '%s': the modulus must be 2048 bits"},
    {"exponent 3",
     "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -pkeyopt "
     "rsa_keygen_pubexp:3 -out \"$K\"",
     "key file '%s': the public exponent must be 65537"},
    {"two keys", "cat \"$Z\" \"$S\" > \"$K\"", "key file '%s' holds 2 PEM blocks"},
};

static void PrintTo(const KeyRefusal& refusal, std::ostream* out) { *out << refusal.Name; }

class ZvpackKey : public Zvpack, public testing::WithParamInterface<KeyRefusal> {};

TEST_P(ZvpackKey, IsRefusedWithItsReason) {
  const KeyRefusal& refusal = GetParam();
  std::string folder = Fresh("key");
  WriteAll(folder + "/a.dll", Contents(3000, 1));
  std::string key = Dir + "/bad-key.pem";
  ASSERT_EQ(system(("rm -rf '" + key + "'").c_str()), 0);
  if (refusal.Make) {
    std::string command = std::string("K='") + key + "' S='" + SignatureKey + "' Z='" + SealingKey +
                          "'; " + refusal.Make + " 2>/dev/null";
    ASSERT_EQ(system(command.c_str()), 0) << command;
  }
  std::string package = Dir + "/key.zvp";
  remove(package.c_str());
  RunResult result = Run({"pack", "--signature-key", SignatureKey, "--sealing-key", key,
                          "--version", "1.0.0.0", "--out", package, folder});
  char cause[600];
  snprintf(cause, sizeof cause, refusal.Cause, key.c_str());
  EXPECT_EQ(result.Exit, 2) << result.Err;
  EXPECT_NE(result.Err.find(cause), std::string::npos) << result.Err;
  EXPECT_FALSE(Exists(package));
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackKey, testing::ValuesIn(KeyRefusals), CaseName<KeyRefusal>);

// Failures the system reports: the message carries its reason, and the output folder
// is left as it was (an older output included).
struct SystemFailure {
  const char* Name;
  void (*Make)(const std::string& folder, const std::string& outFolder);
  RunLimits Limits;
  bool OutputWritable;  // for the unprivileged user
  const char* Cause;
};

static const SystemFailure SystemFailures[] = {
    {"too many open files",
     [](const std::string& f, const std::string&) {
       std::string deep = f;
       for (int level = 0; level < 24; level++) deep += "/d";
       EXPECT_EQ(system(("mkdir -p '" + deep + "'").c_str()), 0);
       WriteAll(deep + "/a.dll", Contents(3000, 1));
     },
     {16, 0, false},
     true,
     "/d': Too many open files"},
    {"a write past the file size limit",
     [](const std::string& f, const std::string&) { WriteAll(f + "/a.dll", Contents(3000, 1)); },
     {0, 1024, false},
     true,
     "cannot write '"},
    {"an unreadable folder",
     [](const std::string& f, const std::string&) {
       WriteAll(f + "/a.dll", Contents(3000, 1));
       mkdir((f + "/locked").c_str(), 0755);
       WriteAll(f + "/locked/b.dll", Contents(30, 2));
       EXPECT_EQ(chmod((f + "/locked").c_str(), 0), 0);
     },
     {0, 0, true},
     true,
     "cannot read the folder '"},
    {"an unreadable file",
     [](const std::string& f, const std::string&) {
       WriteAll(f + "/a.dll", Contents(3000, 1));
       EXPECT_EQ(chmod((f + "/a.dll").c_str(), 0), 0);
     },
     {0, 0, true},
     true,
     "cannot open '"},
    {"an output folder it may not write",
     [](const std::string& f, const std::string&) { WriteAll(f + "/a.dll", Contents(3000, 1)); },
     {0, 0, true},
     false,
     "cannot create a file beside '"},
};

static void PrintTo(const SystemFailure& failure, std::ostream* out) { *out << failure.Name; }

class ZvpackSystem : public Zvpack, public testing::WithParamInterface<SystemFailure> {};

TEST_P(ZvpackSystem, GivesTheSystemsReasonAndKeepsTheOutput) {
  const SystemFailure& failure = GetParam();
  if (failure.Limits.Unprivileged && !CanRunUnprivileged()) {
    GTEST_SKIP() << "no unprivileged user to run as";
  }
  std::string folder = Fresh("system");
  std::string outFolder = Fresh("system-out");
  failure.Make(folder, outFolder);
  std::string package = outFolder + "/update.zvp";
  WriteAll(package, "the previous package");
  if (failure.Limits.Unprivileged && failure.OutputWritable) GiveToUnprivileged(outFolder);
  std::string before = Snapshot(outFolder);
  RunResult result = Pack(package, {folder}, "1.0.0.0", failure.Limits);
  EXPECT_EQ(result.Exit, 2) << result.Err;
  EXPECT_NE(result.Err.find(failure.Cause), std::string::npos) << result.Err;
  // The reason is the system's own, after the file's name.
  EXPECT_NE(result.Err.find("': "), std::string::npos) << result.Err;
  if (failure.Limits.Unprivileged) {
    EXPECT_NE(result.Err.find("Permission denied"), std::string::npos) << result.Err;
  }
  EXPECT_EQ(Snapshot(outFolder), before);
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackSystem, testing::ValuesIn(SystemFailures),
                         CaseName<SystemFailure>);

TEST_F(Zvpack, PackRefusesAPublicKey) {
  std::string folder = Fresh("public");
  WriteAll(folder + "/f.dll", Contents(3000, 1));
  std::string publicKey = Dir + "/public.pem";
  ASSERT_EQ(
      system(("openssl rsa -in '" + SealingKey + "' -pubout -out '" + publicKey + "' 2>/dev/null")
                 .c_str()),
      0);
  std::string package = Dir + "/public.zvp";
  RunResult result = Run({"pack", "--signature-key", SignatureKey, "--sealing-key", publicKey,
                          "--version", "1.0.0.0", "--out", package, folder});
  EXPECT_EQ(result.Exit, 2);
  EXPECT_NE(result.Err.find("public.pem': it is a public key"), std::string::npos) << result.Err;
  EXPECT_FALSE(Exists(package));

  // Inspecting takes public keys.
  ASSERT_EQ(Pack(package, {folder}).Exit, 0);
  RunResult listed =
      Run({"inspect", "--signature-key", SignatureKey, "--sealing-key", publicKey, package});
  EXPECT_EQ(listed.Exit, 0) << listed.Err;
}

TEST_F(Zvpack, UsageErrorsExitWithOne) {
  std::string folder = Fresh("usage");
  WriteAll(folder + "/f.dll", Contents(3000, 1));
  std::string out = Dir + "/usage.zvp";
  const std::vector<std::string> cases[] = {
      {},
      {"frobnicate"},
      {"help", "frobnicate"},
      {"keygen"},
      {"keygen", "a.pem", "b.pem"},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--out", out, folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3",
       "--out", out, folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version",
       "1.2.3.256", "--out", out, folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       "--out", out},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       "--out", out, "nothing-here"},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       "--out", out, "--fast", folder},
      {"pack", "--signature-key"},
      {"inspect", "--signature-key", SignatureKey, "--sealing-key", SealingKey},
      {"inspect", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "a.zvp", "b.zvp"},
      {"inspect", "--sealing-key", SealingKey, "a.zvp"},
      // A repeated option is an error, not "the last one wins".
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       "--out", out + ".first", "--out", out, folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       "--version", "1.2.3.5", "--out", out, folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--sealing-key",
       SignatureKey, "--version", "1.2.3.4", "--out", out, folder},
      {"pack", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--version", "1.2.3.4",
       "--out", out, "--follow-links", "--follow-links", folder},
      {"inspect", "--signature-key", SignatureKey, "--sealing-key", SealingKey, "--body-out",
       out + ".body", "--body-out", out + ".body2", "a.zvp"},
      {"inspect", "--signature-key", SignatureKey, "--signature-key", SignatureKey, "--sealing-key",
       SealingKey, "a.zvp"},
  };
  for (const std::vector<std::string>& args : cases) {
    RunResult result = Run(args);
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    EXPECT_EQ(result.Exit, 1) << shown << "\n" << result.Err;
    EXPECT_NE(result.Err.find("usage: zvpack"), std::string::npos) << shown;
  }
  EXPECT_FALSE(Exists(out));
  EXPECT_FALSE(Exists(out + ".first"));
  for (const char* command : {"keygen", "pack", "inspect"}) {
    for (const std::vector<std::string>& asked :
         {std::vector<std::string>{command, "--help"}, {"help", command}}) {
      RunResult help = Run(asked);
      EXPECT_EQ(help.Exit, 0);
      EXPECT_EQ(help.Out.find(std::string("usage: zvpack ") + command), 0u) << help.Out;
    }
  }
  RunResult repeated = Run({"pack", "--out", out, "--out", out});
  EXPECT_NE(repeated.Err.find("option given more than once: --out"), std::string::npos)
      << repeated.Err;
  EXPECT_EQ(Run({"--help"}).Exit, 0);
}
