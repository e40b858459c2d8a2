#include "DiskFile.h"

#include "FileException.h"
#include "SafeOutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

CFileException::Cause CauseOf(const QFileDevice &device)
{
    switch (device.error()) {
    case QFileDevice::PermissionsError:
        return CFileException::Cause::AccessDenied;
    case QFileDevice::ResourceError:
        return CFileException::Cause::DiskFull;
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
        return CFileException::Cause::HardIO;
    default:
        return CFileException::Cause::Generic;
    }
}

// Qt words an open failure but does not classify it; the file system tells the causes the
// user can act on apart.
CFileException::Cause OpenFailureCause(const QString &path)
{
    using Cause = CFileException::Cause;
    const QFileInfo info(path);
    if (info.isDir() || !info.absoluteDir().exists())
        return Cause::BadPath;
    if (!info.exists())
        return Cause::FileNotFound;
    return info.isReadable() ? Cause::Generic : Cause::AccessDenied;
}

// A failed read. Qt tells only read from write errors; the errno value the failing call left,
// when it tells more, gives the cause. Callers clear errno before the call.
CFileException DeviceError(const QFileDevice &device, const QString &path, int osError)
{
    CFileException::Cause cause = CauseOf(device);
    if (osError != 0 && CFileException::CauseFromErrno(osError) != CFileException::Cause::Generic)
        cause = CFileException::CauseFromErrno(osError);
    const std::string reason = device.error() != QFileDevice::NoError || osError == 0
        ? device.errorString().toStdString()
        : std::string(std::strerror(osError));
    return {cause, path.toStdString(), reason};
}

void Commit(CSafeOutputFile &file)
{
    file.Commit();
}

CDiskFile::ReplaceStep g_replaceStep = Commit;

// Qt moves at most this much in one call on every platform.
constexpr std::uint64_t kMaxChunk = 1u << 30;

} // namespace

CDiskFile::CDiskFile() = default;

CDiskFile::ReplaceStep CDiskFile::SetReplaceStep(ReplaceStep step)
{
    const ReplaceStep previous = g_replaceStep;
    g_replaceStep = step != nullptr ? step : Commit;
    return previous;
}

CDiskFile::~CDiskFile()
{
    Abort();
}

bool CDiskFile::Open(const QString &path, unsigned mode, CFileException *error)
{
    Abort();
    m_strPath = path;
    if (mode == kCreateReadWriteExclusive) {
        try {
            m_pWriter = std::make_unique<CSafeOutputFile>(QFile::encodeName(path).toStdString());
        } catch (const CFileException &e) {
            // What is missing when a new file cannot be made is the folder it would go in.
            const CFileException::Cause cause = e.m_cause == CFileException::Cause::FileNotFound
                ? CFileException::Cause::BadPath
                : e.m_cause;
            if (error != nullptr)
                *error = CFileException(cause, e.m_lOsError, path.toStdString());
            return false;
        }
        return true;
    }
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: large reads go straight into the caller's block.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (error != nullptr)
            *error = CFileException(OpenFailureCause(path), path.toStdString(),
                                    file->errorString().toStdString());
        return false;
    }
    m_pReader = std::move(file);
    return true;
}

void CDiskFile::ThrowError(int osError) const
{
    throw DeviceError(*m_pReader, m_strPath, osError);
}

std::uint64_t CDiskFile::GetLength()
{
    if (m_pWriter)
        return m_pWriter->File().GetLength();
    return static_cast<std::uint64_t>(std::max<qint64>(m_pReader->size(), 0));
}

std::uint32_t CDiskFile::Read(void *buffer, std::uint32_t count)
{
    return static_cast<std::uint32_t>(ReadHuge(buffer, count));
}

std::uint64_t CDiskFile::ReadHuge(void *buffer, std::uint64_t count)
{
    Q_ASSERT(m_pReader);
    auto *bytes = static_cast<char *>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<qint64>(std::min(count - done, kMaxChunk));
        errno = 0;
        const qint64 got = m_pReader->read(bytes + done, chunk);
        if (got < 0)
            ThrowError(errno);
        if (got == 0)
            break;
        done += static_cast<std::uint64_t>(got);
    }
    return done;
}

void CDiskFile::Seek(std::uint64_t position)
{
    Q_ASSERT(m_pReader);
    errno = 0;
    if (!m_pReader->seek(static_cast<qint64>(std::min<std::uint64_t>(position, INT64_MAX))))
        ThrowError(errno);
}

void CDiskFile::Write(const void *buffer, std::uint32_t count)
{
    WriteHuge(buffer, count);
}

void CDiskFile::WriteHuge(const void *buffer, std::uint64_t count)
{
    Q_ASSERT(m_pWriter);
    m_pWriter->File().WriteHuge(buffer, count);
}

void CDiskFile::Close()
{
    if (m_pReader) {
        m_pReader->close();
        m_pReader.reset();
    }
    if (!m_pWriter)
        return;
    // Once it has failed, the output is dropped (and with it its temporary file).
    const std::unique_ptr<CSafeOutputFile> writer = std::move(m_pWriter);
    g_replaceStep(*writer);
}

void CDiskFile::Abort() noexcept
{
    m_pReader.reset();
    m_pWriter.reset(); // an output never committed takes its temporary file with it
}
