// zvpack as the publisher runs it: keygen, pack, inspect, every refusal and usage error.
// The launcher's reader checks the packed bytes in-process as well.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/zvpack/PackerKeys.h"
#include "updater/Package.h"

namespace {

struct RunResult {
  int Exit;
  std::string Out;
  std::string Err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

class Zvpack : public testing::Test {
 protected:
  static std::string Dir;  // scratch folder of the whole suite
  static std::string SignatureKey;
  static std::string SealingKey;

  static RunResult Run(std::vector<std::string> args) {
    const char* tool = getenv("ZVPACK");
    std::string out = Dir + "/stdout";
    std::string err = Dir + "/stderr";
    pid_t child = fork();
    if (child == 0) {
      int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(o, 1);
      dup2(e, 2);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(tool));
      for (std::string& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(tool, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
  }

  static void SetUpTestSuite() {
    ASSERT_NE(getenv("ZVPACK"), nullptr) << "ZVPACK must name the zvpack program";
    char scratch[] = "/tmp/zv_zvpack_XXXXXX";
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

  // A fresh, empty folder for one test.
  static std::string Fresh(const char* name) {
    std::string path = Dir + "/" + name;
    std::string command = "rm -rf '" + path + "' && mkdir -p '" + path + "'";
    EXPECT_EQ(system(command.c_str()), 0);
    return path;
  }

  static RunResult Pack(const std::string& out, std::vector<std::string> inputs,
                        const std::string& version = "1.2.3.4") {
    std::vector<std::string> args = {"pack",          "--signature-key", SignatureKey,
                                     "--sealing-key", SealingKey,        "--version",
                                     version,         "--out",           out};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return Run(args);
  }

  static RunResult Inspect(const std::string& package) {
    return Run({"inspect", "--signature-key", SignatureKey, "--sealing-key", SealingKey, package});
  }
};

std::string Zvpack::Dir;
std::string Zvpack::SignatureKey;
std::string Zvpack::SealingKey;

// Bytes that differ from file to file.
std::string Contents(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; i++)
    bytes[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

void SetModified(const std::string& path, time_t seconds, long nanoseconds) {
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
  const char* Label;
  void (*Make)(const std::string& folder, std::vector<std::string>* inputs);
  const char* Cause;
  const char* File;  // part of the message naming the file, or null
};

void Files(const std::string& folder, int count, size_t size) {
  for (int i = 0; i < count; i++) WriteAll(folder + "/" + std::to_string(i), Contents(size, i));
}

void SparseFile(const std::string& path, off_t size) {
  int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  ASSERT_EQ(ftruncate(file, size), 0);
  close(file);
}

const Refusal Refusals[] = {
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
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.Label; }

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
  if (refusal.File) {
    EXPECT_NE(result.Err.find(refusal.File), std::string::npos) << result.Err;
  }
  EXPECT_EQ(system(("test -z \"$(ls -A '" + outFolder + "')\"").c_str()), 0)
      << "a refused run must leave no file behind";
}

INSTANTIATE_TEST_SUITE_P(All, ZvpackRefusal, testing::ValuesIn(Refusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                           std::string name;
                           for (const char* p = info.param.Label; *p; p++) {
                             name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           }
                           return name;
                         });

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
  };
  for (const std::vector<std::string>& args : cases) {
    RunResult result = Run(args);
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    EXPECT_EQ(result.Exit, 1) << shown << "\n" << result.Err;
    EXPECT_NE(result.Err.find("usage: zvpack"), std::string::npos) << shown;
  }
  EXPECT_FALSE(Exists(out));
  for (const char* command : {"keygen", "pack", "inspect"}) {
    RunResult help = Run({command, "--help"});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_EQ(help.Out.find(std::string("usage: zvpack ") + command), 0u) << help.Out;
  }
  EXPECT_EQ(Run({"--help"}).Exit, 0);
}

}  // namespace
