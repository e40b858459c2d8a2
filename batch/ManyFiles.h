#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// One transform over many input files into one folder, each under its own file name, with a
// number of workers. A file that is refused or fails is reported with its name and the others
// go on; the run ends with the worst exit code met (0 done < 1 refused < 3 file error) and a
// last line counting each kind.
class CManyFiles
{
public:
    // Reads IN, writes OUT, reports to the stream; returns the exit code of the one-file command.
    using Job
        = std::function<int(const std::string &in, const std::string &out, std::ostream &err)>;

    struct Plan
    {
        std::string folder;
        std::vector<std::string> inputs, outputs;
        std::string problem; // a bad command line, when not empty
    };
    struct Settings
    {
        unsigned jobs = 1;
        bool progress = false; // a progress bar on the error stream, a terminal
    };

    // Where each input lands; a problem when one has no file name of its own (standard input)
    // or two would land on one name.
    [[nodiscard]] static Plan Prepare(const std::vector<std::string> &inputs,
                                      const std::string &folder);

    // The processors this process may run on.
    [[nodiscard]] static unsigned DefaultJobs();

    // Checks that the folder can take the files (a file error before any input is read), then
    // runs `job` over the plan.
    [[nodiscard]] static int Run(const Plan &plan, const Settings &settings, const Job &job,
                                 std::ostream &err);
};
