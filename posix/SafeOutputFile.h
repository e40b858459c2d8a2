#pragma once

#include "PosixFile.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

// Output that lands where the user meant, the way a copy tool puts it there: through symbolic
// links to their target; straight into a device, FIFO or socket (also one reached through a
// link that names no path, such as /dev/stdout on a pipe); into the same file (inode) when it
// has other hard links; and otherwise, the ordinary case, as a temporary file beside the
// target, synced and renamed over it once complete, with the old file's owner and group kept
// where the user may keep them and its permissions without setuid and setgid. An existing
// file the user may not write is refused. Until Commit, and whenever anything fails, an
// existing regular target keeps its old contents and the temporary file is removed. The
// program's save and the batch tool both write through this class.
class CSafeOutputFile
{
public:
    // Outputs that may be open at once, in any threads, with their temporary files still
    // removed by a signal (the batch tool's 256 workers at most and a group of complete files
    // waiting to be put in place); the temporary files of any beyond stay behind when one
    // arrives.
    static constexpr std::size_t kMaxTemporaryFiles = 320;

    // Opens the output; raises CFileException naming the target on failure.
    explicit CSafeOutputFile(std::string targetPath);
    ~CSafeOutputFile();
    CSafeOutputFile(const CSafeOutputFile &) = delete;
    CSafeOutputFile &operator=(const CSafeOutputFile &) = delete;

    [[nodiscard]] CFile &File() { return *m_file; }

    // The target as given to the constructor.
    [[nodiscard]] const std::string &Target() const { return m_strTarget; }

    // Whether Commit renames a temporary file over the target (the ordinary case) rather than
    // writing into the target itself.
    [[nodiscard]] bool RenamesOverTarget() const { return m_mode == Mode::Replace; }

    // Puts the written bytes in place (see above). Raises CFileException naming the target on
    // failure.
    void Commit();

    // Puts several complete outputs in place as Commit does, but with one sync of each
    // filesystem that holds their temporary files instead of one sync a file: on many small
    // files the syncs, not the writing, take the time. Every temporary file is synced before
    // any is renamed. Returns, for each output in order, nothing or what its Commit would have
    // raised.
    [[nodiscard]] static std::vector<std::exception_ptr>
    CommitTogether(std::span<CSafeOutputFile *const> outputs);

    // Makes every signal that would end the process by default (and is not ignored or handled
    // already) remove the temporary file of the output being written first, and ignores
    // SIGXFSZ, so that a file-size limit fails the write with its reason instead of ending the
    // process. Call once at start-up, before any thread starts.
    static void RemoveTemporaryFilesOnSignals();

private:
    enum class Mode { Replace, InPlace, Direct };

    void Throw(int osError) const;
    void CopyIntoTarget();
    void KeepOwnerAndMode();
    void RenameOverTarget();
    void ReleaseSlot();

    std::string m_strTarget;   // as the user gave it, for messages
    std::string m_strResolved; // after following symbolic links
    Mode m_mode = Mode::Replace;
    std::optional<struct stat> m_existing;
    std::string m_strTemp;
    std::optional<CPosixFile> m_file;
    int m_nTargetFd = -1; // InPlace: the target, opened for writing up front
    bool m_bCommitted = false;
    int m_nPendingSlot = -1;      // where the signal handler finds the temporary file's name
    std::uint64_t m_nCreated = 0; // when the temporary file was made, in creation order
};
