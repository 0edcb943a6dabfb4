#include "tests/native/support/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "tests/portable/support/FileBytes.h"

// The exit codes of a child that never ran the program, as a shell gives them.
static const int CannotLimit = 126;
static const int CannotStart = 127;

const struct passwd* Nobody() {
  static const struct passwd* nobody = getpwnam("nobody");
  return nobody;
}

// In the child, before the program starts: the limits, then the user.
static bool ApplyLimits(const RunLimits& limits) {
  if (limits.OpenFiles) {
    struct rlimit files = {limits.OpenFiles, limits.OpenFiles};
    if (setrlimit(RLIMIT_NOFILE, &files) != 0) return false;
  }
  if (limits.FileSize) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing
    struct rlimit size = {limits.FileSize, limits.FileSize};
    if (setrlimit(RLIMIT_FSIZE, &size) != 0) return false;
  }
  if (limits.Unprivileged && geteuid() == 0) {
    if (!Nobody() || setgroups(0, nullptr) != 0 || setgid(Nobody()->pw_gid) != 0 ||
        setuid(Nobody()->pw_uid) != 0) {
      return false;
    }
  }
  return true;
}

RunResult RunProgram(const std::string& program, std::vector<std::string> args,
                     const std::string& scratch, const RunLimits& limits) {
  std::string out = scratch + "/stdout";
  std::string err = scratch + "/stderr";
  pid_t child = fork();
  if (child == 0) {
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    close(o);
    close(e);
    alarm(RunTimeLimit);  // kept across exec: a program that blocks is ended, not waited for
    if (!ApplyLimits(limits)) _exit(CannotLimit);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(CannotStart);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
}
