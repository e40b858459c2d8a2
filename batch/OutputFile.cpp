#include "OutputFile.h"

#include "FileException.h"
#include "PosixFile.h"
#include "SafeOutputFile.h"
#include "StandardStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

COutputFile::COutputFile(const std::string &path, const Keep *keep)
    : m_pKeep(keep)
{
    if (path != StandardStreams::kDash) {
        m_pFile = std::make_unique<CSafeOutputFile>(path);
        return;
    }
    // A descriptor of our own, so that closing it reports a late write error without closing
    // standard output itself.
    const std::string name = "standard output";
    const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        const int error = errno;
        throw CFileException(CFileException::CauseFromErrno(error), error, name);
    }
    m_pStandardOutput = std::make_unique<CPosixFile>(fd, name);
}

COutputFile::~COutputFile() = default;

CFile &COutputFile::File()
{
    if (m_pFile)
        return m_pFile->File();
    return *m_pStandardOutput;
}

void COutputFile::Commit()
{
    // A device or FIFO has its bytes already and a reader may be waiting for the end: only a
    // file that waits for its rename is kept.
    if (m_pFile && m_pKeep != nullptr && m_pFile->RenamesOverTarget())
        (*m_pKeep)(std::move(m_pFile));
    else if (m_pFile)
        m_pFile->Commit();
    else
        m_pStandardOutput->Close();
}
