#include "DiskFile.h"

#include "FileException.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
CFileException::Cause OpenFailureCause(const QString &path, bool saving)
{
    using Cause = CFileException::Cause;
    const QFileInfo info(path);
    if (info.isDir() || !info.absoluteDir().exists())
        return Cause::BadPath;
    if (saving) {
        // The new file is made beside the target and renamed over it: both need the folder.
        const bool denied
            = !QFileInfo(info.absolutePath()).isWritable() || (info.exists() && !info.isWritable());
        return denied ? Cause::AccessDenied : Cause::Generic;
    }
    if (!info.exists())
        return Cause::FileNotFound;
    return info.isReadable() ? Cause::Generic : Cause::AccessDenied;
}

CFileException OpenError(const QFileDevice &device, const QString &path, bool saving)
{
    return {OpenFailureCause(path, saving), path.toStdString(), device.errorString().toStdString()};
}

// A failed read, write or replace. Qt tells only read from write errors (a full disk and an
// oversized file are both write errors); the errno value the failing call left, when it tells
// more, gives the cause. Callers clear errno before the call.
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

bool Commit(QSaveFile &file)
{
    // The last buffered bytes reach the disk only here, and commit() does not notice when
    // they fail: it would put the cut-off file in place of the old one and report success.
    if (!file.flush())
        return false;
    return file.commit();
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
    m_bSaving = mode == kCreateReadWriteExclusive;
    std::unique_ptr<QFileDevice> device;
    bool opened = false;
    if (m_bSaving) {
        auto file = std::make_unique<QSaveFile>(path);
        opened = file->open(QIODevice::WriteOnly);
        device = std::move(file);
    } else {
        auto file = std::make_unique<QFile>(path);
        // Unbuffered: large reads go straight into the caller's block.
        opened = file->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        device = std::move(file);
    }
    if (!opened) {
        if (error != nullptr)
            *error = OpenError(*device, path, m_bSaving);
        return false;
    }
    m_pDevice = std::move(device);
    return true;
}

void CDiskFile::ThrowError(int osError) const
{
    throw DeviceError(*m_pDevice, m_strPath, osError);
}

std::uint64_t CDiskFile::GetLength()
{
    return static_cast<std::uint64_t>(std::max<qint64>(m_pDevice->size(), 0));
}

std::uint32_t CDiskFile::Read(void *buffer, std::uint32_t count)
{
    return static_cast<std::uint32_t>(ReadHuge(buffer, count));
}

std::uint64_t CDiskFile::ReadHuge(void *buffer, std::uint64_t count)
{
    auto *bytes = static_cast<char *>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<qint64>(std::min(count - done, kMaxChunk));
        errno = 0;
        const qint64 got = m_pDevice->read(bytes + done, chunk);
        if (got < 0)
            ThrowError(errno);
        if (got == 0)
            break;
        done += static_cast<std::uint64_t>(got);
    }
    return done;
}

void CDiskFile::Write(const void *buffer, std::uint32_t count)
{
    WriteHuge(buffer, count);
}

void CDiskFile::WriteHuge(const void *buffer, std::uint64_t count)
{
    const auto *bytes = static_cast<const char *>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<qint64>(std::min(count - done, kMaxChunk));
        errno = 0;
        const qint64 put = m_pDevice->write(bytes + done, chunk);
        if (put <= 0)
            ThrowError(errno);
        done += static_cast<std::uint64_t>(put);
    }
}

void CDiskFile::Close()
{
    if (!m_pDevice)
        return;
    if (m_bSaving) {
        auto *file = static_cast<QSaveFile *>(m_pDevice.get());
        errno = 0;
        if (!g_replaceStep(*file)) {
            const CFileException error = DeviceError(*file, m_strPath, errno);
            m_pDevice.reset();
            throw error;
        }
    } else {
        m_pDevice->close();
    }
    m_pDevice.reset();
}

void CDiskFile::Abort() noexcept
{
    if (!m_pDevice)
        return;
    if (m_bSaving)
        static_cast<QSaveFile *>(m_pDevice.get())->cancelWriting();
    m_pDevice.reset(); // QSaveFile drops its temporary file when destroyed uncommitted
}
