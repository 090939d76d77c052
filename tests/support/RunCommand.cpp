#include "tests/support/RunCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/XlsBuilder.h"

extern char** environ;

namespace vorlix::test {

namespace {

// The tests' environment with `settings` (NAME=VALUE) added or replacing.
std::vector<std::string> Environment(const std::vector<std::string>& settings) {
    std::vector<std::string> all;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& setting : settings)
            replaced = replaced || setting.substr(0, setting.find('=')) == name;
        if (!replaced) all.push_back(text);
    }
    all.insert(all.end(), settings.begin(), settings.end());
    return all;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment, posix_spawn_file_actions_t& actions) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = Environment(environment);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, Pointers(argv).data(),
                               Pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

int Wait(pid_t pid) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

std::string Text(const std::filesystem::path& file) {
    const Bytes bytes = ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment) {
    RunOptions options;
    options.Environment = environment;
    return RunCommandWith(program, args, options);
}

CommandResult RunCommandWith(const std::string& program, const std::vector<std::string>& args,
                             const RunOptions& options) {
    TempDir dir;
    const std::string outPath =
        options.OutputFile.empty() ? (dir / "out").string() : options.OutputFile;
    const std::string errPath = (dir / "err").string();
    int pipeEnds[2] = {-1, -1};
    if (!options.Input.empty() && pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for the test");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Never the tests' terminal: a program that would ask for input must not wait for it.
    if (pipeEnds[0] >= 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    } else {
        posix_spawn_file_actions_addopen(
            &actions, 0, options.InputFile.empty() ? "/dev/null" : options.InputFile.c_str(),
            O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const pid_t pid = Spawn(program, args, options.Environment, actions);
    std::thread writer;
    if (pipeEnds[0] >= 0) {
        close(pipeEnds[0]);
        // Written from a thread of its own, so that a program that writes before it has
        // read all its input cannot stall the test. A program that stops reading early
        // makes the write fail; the SIGPIPE that comes with it is taken here.
        writer = std::thread([fd = pipeEnds[1], &input = options.Input] {
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            std::size_t done = 0;
            while (done < input.size()) {
                const ssize_t n = write(fd, input.data() + done, input.size() - done);
                if (n <= 0) {
                    const timespec none{0, 0};
                    sigtimedwait(&pipeSignal, nullptr, &none);
                    break;
                }
                done += static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }
    if (options.WhileRunning) options.WhileRunning(pid);
    CommandResult result;
    result.status = Wait(pid);
    if (writer.joinable()) writer.join();
    result.out = options.OutputFile.empty() ? Text(outPath) : std::string();
    result.err = Text(errPath);
    return result;
}

CommandResult RunInTerminal(const std::string& program, const std::vector<std::string>& args,
                            const std::string& prompt, const std::string& typed) {
    TempDir dir;
    const std::string outPath = (dir / "out").string();
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("no terminal for the test");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, 0);
    posix_spawn_file_actions_adddup2(&actions, slave, 2);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addclose(&actions, master);
    posix_spawn_file_actions_addclose(&actions, slave);
    const pid_t pid = Spawn(program, args, {}, actions);
    close(slave);

    // Reads what the terminal shows until the program closes it (or a generous time passes).
    CommandResult result;
    bool typedYet = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has closed its end
        result.err.append(buffer, static_cast<std::size_t>(n));
        if (!typedYet && result.err.find(prompt) != std::string::npos) {
            const std::string line = typed + "\n";
            if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
            typedYet = true;
        }
    }
    close(master);
    result.status = Wait(pid);
    result.out = Text(outPath);
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace vorlix::test
