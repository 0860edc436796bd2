// klovin-extract stopped by the system while it cuts: a hang-up stops it between two
// messages as Ctrl-C does, and output that nobody reads any more does not stop it.
#include "../StoppedJob.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Started as a shell starts a command: the signals at their defaults and none blocked,
// so that a disposition this test runner happens to have cannot hide a fault.
pid_t startProgram(const std::vector<std::string>& args, int out, int err) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, out, 1);
    posix_spawn_file_actions_adddup2(&files, err, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int s : {SIGHUP, SIGINT, SIGTERM, SIGPIPE})
        sigaddset(&defaults, s);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<std::string> all{programPath()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Leaves an ended child to be reaped with its status.
bool stillRunning(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

std::string describe(int raw) {
    if (WIFSIGNALED(raw))
        return "ended by signal " + std::to_string(WTERMSIG(raw));
    return "exit status " + std::to_string(WEXITSTATUS(raw));
}

} // namespace

class StopSignals : public StoppedJob {};

TEST_F(StopSignals, AHangUpStopsBetweenMessages) {
    makeMailbox(1500);
    const int out =
        open((root / "logs" / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err =
        open((root / "logs" / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t pid = startProgram(arguments(), out, err);
    close(out);
    close(err);
    ASSERT_GT(pid, 0);
    const bool cutting = waitUntilCutting([&] { return stillRunning(pid); });
    kill(pid, SIGHUP);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(cutting) << "the job ended before it could be stopped: " << describe(raw);
    const std::string said = readFile(root / "logs" / "stderr.txt");
    ASSERT_TRUE(WIFEXITED(raw)) << describe(raw) << "\n" << said;
    EXPECT_EQ(WEXITSTATUS(raw), 3) << said;
    EXPECT_NE(said.find("Stopping after the message in progress."), std::string::npos) << said;
    EXPECT_NE(readFile(root / "logs" / "stdout.txt").find("The extraction did not finish."),
              std::string::npos);
    expectEveryMessageWhole();
}

// The reader is gone before the first line, as when the output goes into a command that
// has already quit: every write the program makes fails.
TEST_F(StopSignals, OutputIntoAClosedPipeDoesNotStopTheJob) {
    makeMailbox(40);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    const pid_t pid = startProgram(arguments(), pipeEnds[1], pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_GT(pid, 0);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw)) << describe(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(folderFiles(root / "out"), attachments);
    EXPECT_EQ(mailboxTexts(mailbox()), cutTexts);
}
