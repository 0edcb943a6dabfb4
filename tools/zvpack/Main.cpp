// zvpack: makes key pairs, builds signed and sealed update packages, and inspects them
// with the launcher's own reader.
#include <cstdio>
#include <cstring>

#include "ZvVersion.h"
#include "tools/zvpack/Commands.h"

static const char ToolHelp[] =
    "usage: zvpack COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  keygen   make a new RSA-2048 private key for signing or sealing\n"
    "  pack     build a signed and sealed update package\n"
    "  inspect  check a package as the launcher would and list its contents\n"
    "  plan     build the packages that turn one release folder into another\n"
    "\n"
    "'zvpack COMMAND --help' describes a command; 'zvpack --version' prints the version.\n"
    "Exit codes: 0 done, 1 usage error, 2 refused or failed.\n";

// The project's version, the same that Zorvane.exe's version block and the release
// artifacts' names carry.
static const char ToolVersion[] = "zvpack " ZV_VERSION_TEXT "\n";

struct Command {
  const char* Name;
  int (*Run)(int argc, char** argv);
  const char* Help;
};

static const Command Commands[] = {
    {"keygen", KeygenCommand, KeygenHelp},
    {"pack", PackCommand, PackHelp},
    {"inspect", InspectCommand, InspectHelp},
    {"plan", PlanCommand, PlanHelp},
};

bool IsHelpOption(const char* argument) {
  return strcmp(argument, "-h") == 0 || strcmp(argument, "--help") == 0;
}

int UsageError(const char* help, const char* text, const char* detail) {
  fprintf(stderr, "zvpack: %s%s%s\n\n%s", text, detail ? " " : "", detail ? detail : "", help);
  return ExitUsage;
}

static const Command* FindCommand(const char* name) {
  for (const Command& command : Commands) {
    if (strcmp(command.Name, name) == 0) return &command;
  }
  return nullptr;
}

int main(int argc, char** argv) {
  if (argc < 2) return UsageError(ToolHelp, "no command given", nullptr);
  if (IsHelpOption(argv[1])) {
    fputs(ToolHelp, stdout);
    return ExitOk;
  }
  if (strcmp(argv[1], "--version") == 0) {
    fputs(ToolVersion, stdout);
    return ExitOk;
  }
  if (strcmp(argv[1], "help") == 0) {
    const Command* command = argc > 2 ? FindCommand(argv[2]) : nullptr;
    if (argc > 2 && !command) return UsageError(ToolHelp, "unknown command", argv[2]);
    fputs(command ? command->Help : ToolHelp, stdout);
    return ExitOk;
  }
  const Command* command = FindCommand(argv[1]);
  if (!command) return UsageError(ToolHelp, "unknown command", argv[1]);
  for (int i = 2; i < argc; i++) {
    if (IsHelpOption(argv[i])) {
      fputs(command->Help, stdout);
      return ExitOk;
    }
  }
  return command->Run(argc - 2, argv + 2);
}
