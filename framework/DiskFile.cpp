#include "DiskFile.h"

#include "FileException.h"
#include "PosixFile.h"
#include "SafeOutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void Commit(CSafeOutputFile &file)
{
    file.Commit();
}

CDiskFile::ReplaceStep g_replaceStep = Commit;

// What the user can act on when a file is not there: a name that is wrong, or a folder that is.
CFileException::Cause OpenFailureCause(CFileException::Cause cause, const QString &path)
{
    using Cause = CFileException::Cause;
    if (cause == Cause::FileNotFound && !QFileInfo(path).absoluteDir().exists())
        return Cause::BadPath;
    return cause;
}

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
    const std::string name = QFile::encodeName(path).toStdString();
    try {
        if (mode == kCreateReadWriteExclusive)
            m_pWriter = std::make_unique<CSafeOutputFile>(name);
        else
            m_pReader = std::make_unique<CPosixFile>(CPosixFile::OpenForReading(name));
    } catch (const CFileException &e) {
        if (error != nullptr)
            *error = CFileException(OpenFailureCause(e.m_cause, path), e.m_lOsError,
                                    path.toStdString());
        return false;
    }
    return true;
}

std::uint64_t CDiskFile::GetLength()
{
    return m_pWriter ? m_pWriter->File().GetLength() : m_pReader->GetLength();
}

std::uint32_t CDiskFile::Read(void *buffer, std::uint32_t count)
{
    return static_cast<std::uint32_t>(ReadHuge(buffer, count));
}

std::uint64_t CDiskFile::ReadHuge(void *buffer, std::uint64_t count)
{
    Q_ASSERT(m_pReader);
    return m_pReader->ReadHuge(buffer, count);
}

void CDiskFile::Seek(std::uint64_t position)
{
    Q_ASSERT(m_pReader);
    m_pReader->Seek(position);
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
    m_pReader.reset();
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
