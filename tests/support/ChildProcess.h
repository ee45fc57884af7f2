// Runs a program of ours in the surroundings a fault needs: standard input
// from a file, standard output into a given file (a full device, say), a
// limit on the size of the files it writes, and a time after which it is
// killed, so that a program that blocks fails its test instead of hanging it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/Process.h"

struct TChildSetup {
  std::string In = "/dev/null";          // standard input
  std::string Out;                       // standard output; empty: collected in Out
  rlim_t FileSizeLimit = RLIM_INFINITY;  // a longer write fails (SIGXFSZ ignored)
  int Seconds = 20;

  TChildSetup& Input(const std::string& path) { return In = path, *this; }
  TChildSetup& Output(const std::string& path) { return Out = path, *this; }
  TChildSetup& Limit(rlim_t bytes) { return FileSizeLimit = bytes, *this; }
};

struct TChildResult : TProcessResult {
  bool TimedOut = false;
};

inline TChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                             const TChildSetup& setup = TChildSetup()) {
  TTempDir dir;
  const std::string out = setup.Out.empty() ? dir.Path + "/out" : setup.Out, err = dir.Path + "/err";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  TChildResult result;
  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    const int in = open(setup.In.c_str(), O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
    const rlimit limit{setup.FileSizeLimit, setup.FileSizeLimit};
    signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
    if (waited >= setup.Seconds * 1000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.TimedOut = true;
      break;
    }
    const timespec pause{0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  if (!result.TimedOut && WIFEXITED(status)) result.Status = WEXITSTATUS(status);
  if (setup.Out.empty()) result.Out = ReadFileText(out);
  result.Err = ReadFileText(err);
  return result;
}
