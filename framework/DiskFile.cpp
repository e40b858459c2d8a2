#include "DiskFile.h"

#include "FileException.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

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

CFileException MakeError(const QFileDevice &device, const QString &path)
{
    // QFile::exists distinguishes "not found" from the other open failures.
    const bool missing = device.error() == QFileDevice::OpenError && !QFile::exists(path);
    return {missing ? CFileException::Cause::FileNotFound : CauseOf(device), path.toStdString(),
            device.errorString().toStdString()};
}

// Qt moves at most this much in one call on every platform.
constexpr std::uint64_t kMaxChunk = 1u << 30;

} // namespace

CDiskFile::CDiskFile() = default;

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
            *error = MakeError(*device, path);
        return false;
    }
    m_pDevice = std::move(device);
    return true;
}

void CDiskFile::ThrowError() const
{
    throw MakeError(*m_pDevice, m_strPath);
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
        const qint64 got = m_pDevice->read(bytes + done, chunk);
        if (got < 0)
            ThrowError();
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
        const qint64 put = m_pDevice->write(bytes + done, chunk);
        if (put <= 0)
            ThrowError();
        done += static_cast<std::uint64_t>(put);
    }
}

void CDiskFile::Close()
{
    if (!m_pDevice)
        return;
    if (m_bSaving) {
        auto *file = static_cast<QSaveFile *>(m_pDevice.get());
        if (!file->commit()) {
            const CFileException error = MakeError(*file, m_strPath);
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
