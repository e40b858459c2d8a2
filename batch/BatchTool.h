#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

// The command-line front end over the image core: the same reading checks, refusals and
// transforms as the program's menu commands. Exit codes: 0 done, 1 image refused or
// unreadable, 2 bad command line, 3 file error.
class CBatchTool
{
public:
    // `args` excludes the program name. `errIsTerminal` allows the progress bar of -d.
    [[nodiscard]] static int Run(std::span<const std::string_view> args, std::ostream &out,
                                 std::ostream &err, bool errIsTerminal = false);
};
