#include "support/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

extern char** environ;

namespace holescan::testing {
namespace {

std::string ReadAndRemove(const std::filesystem::path& path) {
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::filesystem::remove(path);
  return bytes;
}

}  // namespace

std::vector<std::string> ProgramEnvironment(const std::vector<std::string>& environment) {
  std::vector<std::string> variables = environment;
  variables.emplace_back("LC_ALL=C");
  const auto named = [&](const std::string& variable) {
    const std::string name = variable.substr(0, variable.find('=') + 1);
    for (const std::string& given : variables)
      if (given.rfind(name, 0) == 0) return true;
    return false;
  };
  for (char** e = environ; *e != nullptr; ++e)
    if (!named(*e)) variables.emplace_back(*e);
  return variables;
}

ProgramRun RunProgram(const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder,
                      const std::vector<std::string>& environment) {
  std::vector<std::string> words = arguments;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = ProgramEnvironment(environment);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  const std::filesystem::path out = folder / ".program-stdout", err = folder / ".program-stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  ProgramRun run;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  run.out = ReadAndRemove(out);
  run.err = ReadAndRemove(err);
  return run;
}

}  // namespace holescan::testing
