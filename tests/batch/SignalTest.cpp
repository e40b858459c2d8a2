#include "BatchRun.h"

#include <csignal>
#include <sys/resource.h>

using namespace BatchRun;

// Every signal whose default action ends the process takes every worker's temporary file with
// it.
TEST_F(BatchTest, ASignalLeavesNoTemporaryFile)
{
    // Sends `signal` once two workers are writing into out/; whether it came then and ended the
    // run.
    const auto stopWhileWriting = [this](const Args &args, int signal) {
        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            const std::string command = "exec " + Command(args) + " 2>" + m_err;
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
        std::size_t writing = 0;
        for (int i = 0; i < 20000 && writing < 2; ++i, ::usleep(500))
            writing = Temporaries(Path("out")).size();
        ::kill(child, signal);
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        return writing == 2 && WIFSIGNALED(status) && WTERMSIG(status) == signal;
    };
    Args args{"invert", "-j", "2", "-d", Path("out")};
    for (int i = 0; i < 2; ++i)
        args.push_back(Put(std::to_string(i), MakeGray8Bmp(4000, 3000, RandomRows(4000, 3000, i))));
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE,
                       SIGXCPU, SIGVTALRM, SIGPROF, SIGRTMIN}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        bool stopped = false;
        for (int attempt = 0; attempt < 5 && !stopped; ++attempt) {
            fs::remove_all(Path("out")), fs::create_directory(Path("out"));
            stopped = stopWhileWriting(args, signal);
            EXPECT_EQ(Temporaries(Path("out")), Args{});
        }
        if (!stopped)
            GTEST_SKIP() << "the workers never wrote two files at once before the run ended";
    }
}
