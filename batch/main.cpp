#include "BatchTool.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    errno = 0;
    const int code = CBatchTool::Run(args, std::cout, std::cerr);
    std::cout.flush();
    // Printed results that never arrived (a full disk, a closed pipe) are a file error, not
    // success.
    if (!std::cout) {
        std::cerr << "tonecraft-batch: 'standard output': "
                  << (errno != 0 ? std::strerror(errno) : "write error") << "\n";
        return 3;
    }
    return code;
}
