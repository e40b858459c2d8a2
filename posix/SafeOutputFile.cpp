#include "SafeOutputFile.h"

#include "FileException.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <pthread.h>
#include <set>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The temporary files being written, for the signal handler: fixed buffers, since the handler
// may only call async-signal-safe functions, one per output open at a time (several threads may
// each write one). A slot is free, being filled by the thread creating its file, or full.
enum SlotState : int { kFree, kCreating, kFull };
struct PendingTemp
{
    std::atomic<int> state{kFree};
    std::array<char, PATH_MAX> path{};
};
std::array<PendingTemp, CSafeOutputFile::kMaxTemporaryFiles> g_pending;
// Set by the handler: a thread about to create a file must not any more, since the handler may
// already have passed its slot.
std::atomic<int> g_bDying{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The signals that remove them; blocked while a new one is created.
sigset_t g_endingSignals;
// Numbers the temporary files in the order they are made.
std::atomic<std::uint64_t> g_nCreated{0};

extern "C" void RemovePendingTempAndDie(int signal)
{
    g_bDying = 1;
    // A file another thread is creating gets its name in a moment (the thread blocks these
    // signals meanwhile, so this is not that thread): wait for it, a little.
    for (int wait = 0; wait < 1000; ++wait) {
        const bool creating = std::any_of(g_pending.begin(), g_pending.end(), [](const auto &p) {
            return p.state.load() == kCreating;
        });
        if (!creating)
            break;
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
    for (PendingTemp &pending : g_pending)
        if (pending.state.load() == kFull)
            ::unlink(pending.path.data());
    // Raised again with the default action, the signal ends the process as it would have (with
    // a core dump where it makes one) once this handler returns and unblocks it.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Every signal whose default action ends the process, but SIGKILL and SIGSTOP (which cannot be
// caught) and SIGXFSZ (ignored instead).
std::vector<int> EndingSignals()
{
    std::vector<int> signals{SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                             SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                             SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS};
#if defined(SIGSTKFLT)
    signals.push_back(SIGSTKFLT);
#endif
#if defined(SIGPWR)
    signals.push_back(SIGPWR);
#endif
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
    return signals;
}

// A free slot, taken for a file about to be created; none when all are taken or the process
// is ending (then nothing may be created).
PendingTemp *TakeSlot()
{
    for (PendingTemp &pending : g_pending) {
        int expected = kFree;
        if (pending.state.compare_exchange_strong(expected, kCreating)) {
            if (g_bDying == 0)
                return &pending;
            pending.state = kFree;
            return nullptr;
        }
    }
    return nullptr;
}

std::string DirectoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links to the path the bytes belong at; a dangling link gives its target,
// which is then created. Loops end with ELOOP, as the system's own lookups do.
std::string ResolveLinks(std::string path, int &error)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info
        { };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        // The size the link reports is only a first guess: a descriptor's link under /proc
        // (/dev/stdout) reports 64 whatever the length of the path it holds.
        std::string target(std::max<std::size_t>(static_cast<std::size_t>(info.st_size), 255) + 1,
                           '\0');
        ssize_t n = 0;
        while ((n = ::readlink(path.c_str(), target.data(), target.size())) >= 0
               && static_cast<std::size_t>(n) >= target.size() && target.size() <= PATH_MAX)
            target.resize(2 * target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return path;
        }
        target.resize(static_cast<std::size_t>(n));
        path = target.starts_with('/') ? target : DirectoryOf(path) + target;
    }
    error = ELOOP;
    return path;
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Whether a filesystem's sync reports the write errors it meets: only from Linux 5.8 on; before
// that only each file's own sync does.
bool FilesystemSyncReportsErrors()
{
    static const bool reports = [] {
        utsname system{};
        int major = 0, minor = 0;
        return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2
            && (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

// Makes the names in a folder ("" for the current one) durable.
void SyncFolder(const std::string &dir)
{
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void CSafeOutputFile::RemoveTemporaryFilesOnSignals()
{
    // A file-size limit then fails the write (EFBIG), reported like a full disk.
    ::signal(SIGXFSZ, SIG_IGN);
    sigemptyset(&g_endingSignals);
    for (int signal : EndingSignals()) {
        // An ignored signal stays ignored (nohup), and a handler someone else installed (a
        // sanitizer's, say) stays in place.
        struct sigaction current
        { };
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL
            || (current.sa_flags & SA_SIGINFO) != 0)
            continue;
        struct sigaction action
        { };
        action.sa_handler = RemovePendingTempAndDie;
        sigemptyset(&action.sa_mask);
        if (::sigaction(signal, &action, nullptr) == 0)
            sigaddset(&g_endingSignals, signal);
    }
}

CSafeOutputFile::CSafeOutputFile(std::string targetPath)
    : m_strTarget(std::move(targetPath))
{
    struct stat info
    { };
    const bool exists = ::stat(m_strTarget.c_str(), &info) == 0;
    if (!exists && errno != ENOENT)
        Throw(errno);
    if (exists && S_ISDIR(info.st_mode))
        Throw(EISDIR);
    if (exists && !S_ISREG(info.st_mode)) {
        // A device, FIFO or socket takes the bytes as they come; there is nothing to replace.
        // Opened by the name given: a link like /dev/stdout on a pipe points at "pipe:[...]",
        // which names no file a lookup could find.
        m_mode = Mode::Direct;
        const int fd = ::open(m_strTarget.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            Throw(errno);
        m_file.emplace(fd, m_strTarget);
        return;
    }
    int error = 0;
    m_strResolved = ResolveLinks(m_strTarget, error);
    if (error != 0)
        Throw(error);
    if (exists) {
        m_existing = info;
        // Whoever may not write the file may not replace it either, even where the folder
        // would let the rename through.
        m_nTargetFd = ::open(m_strTarget.c_str(), O_WRONLY | O_CLOEXEC);
        if (m_nTargetFd < 0)
            Throw(errno);
        // A file with other names keeps its inode, and so does one whose links lead nowhere
        // a rename could reach (a descriptor's link to a removed file, say).
        struct stat resolved
        { };
        const bool reachable = ::stat(m_strResolved.c_str(), &resolved) == 0
            && resolved.st_dev == info.st_dev && resolved.st_ino == info.st_ino;
        if (info.st_nlink > 1 || !reachable) {
            m_mode = Mode::InPlace;
        } else {
            ::close(m_nTargetFd);
            m_nTargetFd = -1;
        }
    }

    // A short name: the target's own name may already be as long as a name can be.
    m_strTemp = DirectoryOf(m_strResolved) + ".tonecraft-XXXXXX";
    // The signals wait until the handler knows the new file's name, so that none can end the
    // process between the file's creation and its registration.
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &g_endingSignals, &previous);
    PendingTemp *pending = TakeSlot();
    int fd = -1;
    int createError = EINTR;
    if (pending != nullptr || g_bDying == 0) {
        m_nCreated = ++g_nCreated;
        fd = ::mkostemp(m_strTemp.data(), O_CLOEXEC);
        createError = errno;
    }
    if (pending != nullptr) {
        if (fd >= 0 && m_strTemp.size() < pending->path.size()) {
            std::memcpy(pending->path.data(), m_strTemp.c_str(), m_strTemp.size() + 1);
            pending->state = kFull;
            m_nPendingSlot = static_cast<int>(pending - g_pending.data());
        } else {
            pending->state = kFree;
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        if (m_nTargetFd >= 0)
            ::close(m_nTargetFd);
        Throw(createError);
    }
    m_file.emplace(fd, m_strTarget);
}

CSafeOutputFile::~CSafeOutputFile()
{
    if (m_nTargetFd >= 0)
        ::close(m_nTargetFd);
    if (!m_strTemp.empty() && !m_bCommitted) {
        m_file.reset();
        ::unlink(m_strTemp.c_str());
    }
    ReleaseSlot();
}

void CSafeOutputFile::ReleaseSlot()
{
    if (m_nPendingSlot >= 0)
        g_pending[static_cast<std::size_t>(m_nPendingSlot)].state = kFree;
    m_nPendingSlot = -1;
}

void CSafeOutputFile::Throw(int osError) const
{
    throw CFileException(CFileException::CauseFromErrno(osError), osError, m_strTarget);
}

void CSafeOutputFile::Commit()
{
    if (m_mode == Mode::Direct) {
        m_file->Close();
        m_bCommitted = true;
        return;
    }
    if (m_mode == Mode::InPlace) {
        CopyIntoTarget();
        m_file.reset();
        ::unlink(m_strTemp.c_str());
        m_bCommitted = true;
        ReleaseSlot();
        return;
    }
    KeepOwnerAndMode();
    if (::fsync(m_file->Descriptor()) != 0)
        Throw(errno);
    RenameOverTarget();
    SyncFolder(DirectoryOf(m_strResolved));
}

std::vector<std::exception_ptr>
CSafeOutputFile::CommitTogether(std::span<CSafeOutputFile *const> outputs)
{
    std::vector<std::exception_ptr> failures(outputs.size());
    // The temporary files to rename, each with its filesystem; the others are done at once.
    std::vector<std::pair<std::size_t, dev_t>> renames;
    // A filesystem's sync reports the write errors met there since the descriptor it is given
    // was opened (Linux 5.8 and later): the temporary file made first covers all the others.
    std::map<dev_t, const CSafeOutputFile *> syncThrough;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        CSafeOutputFile &output = *outputs[i];
        try {
            if (output.m_mode != Mode::Replace) {
                output.Commit();
                continue;
            }
            output.KeepOwnerAndMode();
            struct stat info
            { };
            if (::fstat(output.m_file->Descriptor(), &info) != 0)
                output.Throw(errno);
            renames.emplace_back(i, info.st_dev);
            const auto [at, fresh] = syncThrough.emplace(info.st_dev, &output);
            if (!fresh && output.m_nCreated < at->second->m_nCreated)
                at->second = &output;
        } catch (...) {
            failures[i] = std::current_exception();
        }
    }
    std::set<dev_t> failedSyncs;
    for (const auto &[device, output] : syncThrough)
        if (!FilesystemSyncReportsErrors() || ::syncfs(output->m_file->Descriptor()) != 0)
            failedSyncs.insert(device);
    std::set<std::string> folders;
    for (const auto &[i, device] : renames) {
        CSafeOutputFile &output = *outputs[i];
        try {
            // Where a sync failed (or cannot tell), each file's own sync tells which of them lost
            // bytes.
            if (failedSyncs.contains(device) && ::fsync(output.m_file->Descriptor()) != 0)
                output.Throw(errno);
            output.RenameOverTarget();
            folders.insert(DirectoryOf(output.m_strResolved));
        } catch (...) {
            failures[i] = std::current_exception();
        }
    }
    for (const std::string &folder : folders)
        SyncFolder(folder);
    return failures;
}

// Owner and group where the system lets them be kept (root: always; anyone else: a group they
// belong to), then the permissions, which a change of owner may have cut.
void CSafeOutputFile::KeepOwnerAndMode()
{
    const int fd = m_file->Descriptor();
    if (m_existing) {
        if (::fchown(fd, m_existing->st_uid, m_existing->st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), m_existing->st_gid);
        if (::fchmod(fd, m_existing->st_mode & 01777) != 0)
            Throw(errno);
    } else if (::fchmod(fd, NewFileMode()) != 0) {
        Throw(errno);
    }
}

// The synced temporary file takes the target's name.
void CSafeOutputFile::RenameOverTarget()
{
    m_file->Close();
    if (::rename(m_strTemp.c_str(), m_strResolved.c_str()) != 0)
        Throw(errno);
    m_bCommitted = true;
    ReleaseSlot();
}

// Rewrites the target's own inode with the temporary file's bytes. Room for them is taken
// first, so that a full disk is found before the old contents are touched.
void CSafeOutputFile::CopyIntoTarget()
{
    const int from = m_file->Descriptor();
    const off_t length = ::lseek(from, 0, SEEK_END);
    if (length < 0 || ::lseek(from, 0, SEEK_SET) != 0)
        Throw(errno);
    if (length > 0 && ::fallocate(m_nTargetFd, FALLOC_FL_KEEP_SIZE, 0, length) != 0
        && errno != EOPNOTSUPP)
        Throw(errno);
    std::array<char, 1 << 16> buffer{};
    off_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            Throw(got < 0 ? errno : EIO);
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::pwrite(m_nTargetFd, buffer.data() + put,
                                       static_cast<std::size_t>(got - put), done + put);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Throw(errno);
            put += n;
        }
        done += got;
    }
    if (::ftruncate(m_nTargetFd, length) != 0
        || ::fchmod(m_nTargetFd, m_existing->st_mode & 01777) != 0 || ::fsync(m_nTargetFd) != 0)
        Throw(errno);
}
