#include "BatchTool.h"
#include "SafeOutputFile.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// Writes all of `bytes` to standard output; the errno value of a failure, or 0.
int WriteStandardOutput(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    CSafeOutputFile::RemoveTemporaryFilesOnSignals();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    // The printed results are small; collected first, so that a failed write is seen with
    // the system's reason and is not reported as success.
    std::ostringstream out;
    const int code = CBatchTool::Run(args, out, std::cerr, ::isatty(STDERR_FILENO) == 1);
    if (const int error = WriteStandardOutput(out.view()); error != 0) {
        std::cerr << "tonecraft-batch: 'standard output': " << std::strerror(error) << "\n";
        return 3;
    }
    return code;
}
