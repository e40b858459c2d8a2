#pragma once

#include "OutputFile.h"
#include "SafeOutputFile.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// One transform over many input files into one folder, each under its own file name, with a
// number of workers. A file that is refused or fails is reported with its name and the others
// go on; the run ends with the worst exit code met (0 done < 1 refused < 3 file error) and a
// last line counting each kind. Complete outputs are put in place a group at a time, with one
// sync for the group.
class CManyFiles
{
public:
    // Reads IN, writes OUT, reports to the stream; returns the exit code of the one-file command.
    // OUT, once complete, goes to `keep` (COutputFile) rather than into place.
    using Job = std::function<int(const std::string &in, const std::string &out, std::ostream &err,
                                  const COutputFile::Keep &keep)>;

    // A group is put in place once it holds this many files or bytes: few syncs, and few
    // temporary files beside the outputs.
    static constexpr std::size_t kGroupFiles = 64;
    static constexpr std::uint64_t kGroupBytes = std::uint64_t{64} << 20;
    // Workers at most: each writes one file at a time beside the group's, and a signal must
    // find every temporary file.
    static constexpr unsigned kMaxJobs = 256;
    static_assert(kMaxJobs + kGroupFiles <= CSafeOutputFile::kMaxTemporaryFiles);

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
