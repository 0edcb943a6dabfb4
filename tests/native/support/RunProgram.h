// A program run as a child process, as a publisher runs it from a shell: its exit code
// and what it wrote to stdout and stderr. Native (POSIX) only.
#pragma once
#include <pwd.h>
#include <sys/resource.h>

#include <string>
#include <vector>

struct RunResult {
  int Exit;  // -1 when the program did not exit by itself (a signal, the time limit)
  std::string Out;
  std::string Err;
};

// Seconds a run may take before it is ended (every run here takes well under one): a
// program that blocks fails its test instead of hanging it.
const unsigned RunTimeLimit = 60;

// How the child runs: resource limits (0: as inherited) and, when Unprivileged, as the
// user 'nobody' if the test runs as root (otherwise as the test's own unprivileged user).
struct RunLimits {
  rlim_t OpenFiles;
  rlim_t FileSize;
  bool Unprivileged;
};

// The user an unprivileged run takes when the test runs as root, or null when there is
// none to take.
const struct passwd* Nobody();

// Runs program with args (argv[0] is program itself) under limits, bounded by
// RunTimeLimit. Its stdout and stderr go to the files stdout and stderr in scratch (each
// replaced) and are read back from there. Exit 126: the limits could not be applied;
// 127: the program could not be started.
RunResult RunProgram(const std::string& program, std::vector<std::string> args,
                     const std::string& scratch, const RunLimits& limits = {0, 0, false});
