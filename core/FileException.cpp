#include "FileException.h"

#include <cerrno>
#include <cstring>
#include <utility>

CFileException::CFileException(Cause cause, int osError, std::string fileName)
    : m_cause(cause)
    , m_lOsError(osError)
    , m_strFileName(std::move(fileName))
{
    m_strWhat = m_strFileName + ": " + Reason();
}

CFileException::Cause CFileException::CauseFromErrno(int osError)
{
    switch (osError) {
    case ENOENT:
        return Cause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EISDIR:
        return Cause::BadPath;
    case EMFILE:
    case ENFILE:
        return Cause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return Cause::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Cause::DiskFull;
    case EIO:
        return Cause::HardIO;
    case ETXTBSY:
    case EBUSY:
        return Cause::SharingViolation;
    default:
        return Cause::Generic;
    }
}

CFileException::CFileException(Cause cause, std::string fileName, std::string reason)
    : m_cause(cause)
    , m_lOsError(0)
    , m_strFileName(std::move(fileName))
    , m_strReason(std::move(reason))
{
    m_strWhat = m_strFileName + ": " + Reason();
}

std::string CFileException::Reason() const
{
    if (!m_strReason.empty())
        return m_strReason;
    if (m_lOsError != 0)
        return std::strerror(m_lOsError);
    switch (m_cause) {
    case Cause::EndOfFile:
        return "unexpected end of file";
    case Cause::DiskFull:
        return "disk full";
    case Cause::HardIO:
        return "input/output error";
    default:
        return "file error";
    }
}
