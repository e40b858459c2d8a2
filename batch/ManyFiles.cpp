#include "ManyFiles.h"

#include "FileException.h"
#include "ProgressBar.h"
#include "SafeOutputFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <sched.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kRefused = 1;
constexpr int kFileError = 3;
constexpr std::string_view kToolPrefix = "tonecraft-batch: ";

// The last component of a path, trailing slashes ignored.
std::string FileNameOf(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The reason the folder cannot take new files, or nothing.
std::optional<int> FolderError(const std::string &folder)
{
    struct stat info
    { };
    if (::stat(folder.c_str(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return errno;
    return std::nullopt;
}

std::uint64_t SizeOf(const std::string &path)
{
    struct stat info
    { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        ? static_cast<std::uint64_t>(info.st_size)
        : 0;
}

int TerminalColumns()
{
    struct winsize size
    { };
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// The error stream shared by the workers: whole messages, each line naming its file, with the
// progress bar kept below them.
class CReport
{
public:
    CReport(std::ostream &err, std::optional<CProgressBar> bar)
        : m_err(err)
        , m_bar(std::move(bar))
    {
        if (m_bar)
            m_bar->Draw();
    }

    void Finished(const std::string &in, std::uint64_t bytes, int code, const std::string &text)
    {
        const std::lock_guard lock(m_mutex);
        ++m_counts[code];
        if (!text.empty()) {
            if (m_bar)
                m_bar->Hide();
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) {
                if (line.starts_with(kToolPrefix))
                    line.erase(0, kToolPrefix.size());
                m_err << kToolPrefix << '\'' << in << "': " << line << '\n';
            }
            m_err << std::flush;
        }
        if (m_bar)
            m_bar->Advance(bytes);
    }

    int Close()
    {
        if (m_bar)
            m_bar->Hide();
        m_err << kToolPrefix << m_counts[0] << " done, " << m_counts[kRefused] << " refused, "
              << m_counts[kFileError] << " failed\n";
        int worst = 0;
        for (const auto &[code, count] : m_counts)
            worst = count > 0 ? code : worst;
        return worst;
    }

private:
    std::mutex m_mutex;
    std::ostream &m_err;
    std::optional<CProgressBar> m_bar;
    std::map<int, std::size_t> m_counts{{0, 0}, {kRefused, 0}, {kFileError, 0}};
};

// Complete outputs waiting to be put in place together (CSafeOutputFile::CommitTogether). The
// worker whose file fills a group puts it in place while the others go on writing.
class CGroup
{
public:
    // Called with the outcome once the file is in place or has failed.
    using Placed = std::function<void(const std::exception_ptr &failure)>;

    void Add(std::unique_ptr<CSafeOutputFile> output, std::uint64_t bytes, Placed placed)
    {
        std::unique_lock lock(m_mutex);
        m_held.push_back({std::move(output), std::move(placed)});
        m_bytes += bytes;
        if (m_held.size() < CManyFiles::kGroupFiles && m_bytes < CManyFiles::kGroupBytes)
            return;
        std::vector<Held> full = std::exchange(m_held, {});
        m_bytes = 0;
        lock.unlock();
        Place(full);
    }

    // The rest, once the workers have stopped.
    void Flush() { Place(m_held); }

private:
    struct Held
    {
        std::unique_ptr<CSafeOutputFile> output;
        Placed placed;
    };

    static void Place(std::vector<Held> &held)
    {
        std::vector<CSafeOutputFile *> outputs;
        for (const Held &h : held)
            outputs.push_back(h.output.get());
        const std::vector<std::exception_ptr> failures = CSafeOutputFile::CommitTogether(outputs);
        for (std::size_t i = 0; i < held.size(); ++i)
            held[i].placed(failures[i]);
        held.clear();
    }

    std::mutex m_mutex;
    std::vector<Held> m_held;
    std::uint64_t m_bytes = 0;
};

// The line a failure to put a file in place adds to its report.
std::string Reason(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const CFileException &e) {
        return '\'' + e.m_strFileName + "': " + e.Reason() + '\n';
    } catch (const std::bad_alloc &) {
        return "not enough memory\n";
    } catch (const std::exception &e) {
        return std::string(e.what()) + '\n';
    }
}

} // namespace

CManyFiles::Plan CManyFiles::Prepare(const std::vector<std::string> &inputs,
                                     const std::string &folder)
{
    Plan plan{folder, inputs, {}, {}};
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    std::map<std::string, const std::string *> taken;
    for (const std::string &in : inputs) {
        const std::string name = FileNameOf(in);
        if (in == "-" || name.empty() || name == "." || name == ".." || name == "/") {
            plan.problem = "'" + in + "' has no file name to write in " + folder;
            return plan;
        }
        const auto [at, fresh] = taken.emplace(name, &in);
        if (!fresh) {
            plan.problem = "'" + *at->second + "' and '" + in + "' would both be written to '"
                + prefix + name + "'";
            return plan;
        }
        plan.outputs.push_back(prefix + name);
    }
    return plan;
}

unsigned CManyFiles::DefaultJobs()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
}

int CManyFiles::Run(const Plan &plan, const Settings &settings, const Job &job, std::ostream &err)
{
    if (const std::optional<int> error = FolderError(plan.folder)) {
        err << kToolPrefix << '\'' << plan.folder << "': " << std::strerror(*error) << '\n';
        return kFileError;
    }
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
    for (const std::string &in : plan.inputs)
        total += sizes.emplace_back(SizeOf(in));
    std::optional<CProgressBar> bar;
    if (settings.progress)
        bar.emplace(err, plan.inputs.size(), total, TerminalColumns());
    CReport report(err, std::move(bar));

    CGroup group;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < plan.inputs.size(); i = next++) {
            std::ostringstream text;
            int code = kRefused;
            std::unique_ptr<CSafeOutputFile> complete;
            const COutputFile::Keep keep
                = [&](std::unique_ptr<CSafeOutputFile> output) { complete = std::move(output); };
            try {
                code = job(plan.inputs[i], plan.outputs[i], text, keep);
                if (complete) {
                    group.Add(std::move(complete), sizes[i],
                              [&, i, code, said = text.str()](const std::exception_ptr &failure) {
                                  report.Finished(plan.inputs[i], sizes[i],
                                                  failure ? kFileError : code,
                                                  failure ? said + Reason(failure) : said);
                              });
                    continue;
                }
            } catch (const std::bad_alloc &) {
                text << "not enough memory\n";
            }
            report.Finished(plan.inputs[i], sizes[i], code, text.str());
        }
    };
    const std::size_t workers = std::min<std::size_t>(settings.jobs, plan.inputs.size());
    std::vector<std::jthread> threads;
    for (std::size_t w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    threads.clear();
    group.Flush();
    return report.Close();
}
