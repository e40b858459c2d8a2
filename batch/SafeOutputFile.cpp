#include "SafeOutputFile.h"

#include "FileException.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string TempPathBeside(const std::string &target)
{
    const std::size_t slash = target.rfind('/');
    const std::string dir
        = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + name + ".XXXXXX";
}

int CreateTemp(std::string &pathTemplate, const std::string &target)
{
    const int fd = ::mkstemp(pathTemplate.data());
    if (fd < 0) {
        const int error = errno;
        throw CFileException(CFileException::CauseFromErrno(error), error, target);
    }
    return fd;
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

CSafeOutputFile::CSafeOutputFile(std::string targetPath)
    : m_strTarget(std::move(targetPath))
    , m_strTemp(TempPathBeside(m_strTarget))
    , m_file(CreateTemp(m_strTemp, m_strTarget), m_strTarget)
{ }

CSafeOutputFile::~CSafeOutputFile()
{
    if (!m_bCommitted)
        ::unlink(m_strTemp.c_str());
}

void CSafeOutputFile::Commit()
{
    struct stat existing
    { };
    const mode_t mode
        = ::stat(m_strTarget.c_str(), &existing) == 0 ? existing.st_mode & 07777 : NewFileMode();
    if (::fchmod(m_file.Descriptor(), mode) != 0)
        m_file.ThrowLastError();
    m_file.Close();
    if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0)
        m_file.ThrowLastError();
    m_bCommitted = true;
}
