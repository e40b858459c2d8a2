#include "MemoryBudget.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace MemoryBudget {

namespace {

// Below this a block is not worth a look at /proc; above it the check costs nothing next to
// filling the block.
constexpr std::uint64_t kUncheckedBytes = std::uint64_t{16} << 20;
// What the work around a block (decoding, drawing, buffers, the program itself) may need.
constexpr std::uint64_t kReserveBytes = std::uint64_t{64} << 20;

thread_local std::optional<Refusal> t_lastRefusal;

#if defined(__linux__)
// The value in kB of one "Name:   123 kB" line of a /proc file.
std::optional<std::uint64_t> ProcKilobytes(const char *path, const std::string &name)
{
    std::ifstream in(path);
    std::string line;
    const std::string key = name + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            std::istringstream fields(line.substr(key.size()));
            std::uint64_t value = 0;
            if (fields >> value)
                return value * 1024;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ReadNumber(const std::string &path)
{
    std::ifstream in(path);
    std::uint64_t value = 0;
    if (in >> value)
        return value;
    return std::nullopt; // also "max": no limit
}

// The unified control group's memory.max less what the group already uses.
std::optional<std::uint64_t> GroupAllowance()
{
    std::ifstream groups("/proc/self/cgroup");
    std::string line;
    while (std::getline(groups, line)) {
        if (line.rfind("0::", 0) != 0)
            continue;
        const std::string dir = "/sys/fs/cgroup" + line.substr(3);
        const std::optional<std::uint64_t> limit = ReadNumber(dir + "/memory.max");
        const std::optional<std::uint64_t> used = ReadNumber(dir + "/memory.current");
        if (limit && used)
            return *limit > *used ? *limit - *used : 0;
    }
    return std::nullopt;
}

// The address-space limit (setrlimit RLIMIT_AS) less what the process has mapped already.
std::optional<std::uint64_t> AddressSpaceAllowance()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    const std::uint64_t mapped = ProcKilobytes("/proc/self/status", "VmSize").value_or(0);
    return limit.rlim_cur > mapped ? limit.rlim_cur - mapped : 0;
}
#endif

} // namespace

std::optional<std::uint64_t> Available()
try {
    std::optional<std::uint64_t> least;
    auto consider = [&least](std::optional<std::uint64_t> bytes) {
        if (bytes)
            least = least ? std::min(*least, *bytes) : *bytes;
    };
#if defined(__linux__)
    const std::optional<std::uint64_t> available = ProcKilobytes("/proc/meminfo", "MemAvailable");
    if (available)
        consider(*available + ProcKilobytes("/proc/meminfo", "SwapFree").value_or(0));
    consider(GroupAllowance());
    consider(AddressSpaceAllowance());
#endif
    return least;
} catch (const std::exception &) { // no memory even for reading the figures: unknown
    return std::nullopt;
}

bool Allows(std::uint64_t bytes)
{
    if (bytes < kUncheckedBytes)
        return true;
    const std::optional<std::uint64_t> available = Available();
    if (!available)
        return true;
    const std::uint64_t room = *available > kReserveBytes ? *available - kReserveBytes : 0;
    if (bytes <= room)
        return true;
    t_lastRefusal = Refusal{bytes, *available, kReserveBytes};
    return false;
}

std::optional<Refusal> LastRefusal()
{
    return t_lastRefusal;
}

void ClearRefusal()
{
    t_lastRefusal.reset();
}

void NoteRefusal(std::uint64_t bytes)
{
    t_lastRefusal = Refusal{bytes, Available().value_or(0), kReserveBytes};
}

} // namespace MemoryBudget
