#pragma once

#include <memory>
#include <string>

class CFile;
class CPosixFile;
class CSafeOutputFile;

// OUT as named on the command line: standard output for "-", otherwise a file that is replaced
// only once complete (CSafeOutputFile).
class COutputFile
{
public:
    // Raises CFileException naming the target on failure.
    explicit COutputFile(const std::string &path);
    ~COutputFile();
    COutputFile(const COutputFile &) = delete;
    COutputFile &operator=(const COutputFile &) = delete;

    [[nodiscard]] CFile &File();

    // Puts the file in place, or hands the last bytes to standard output; raises
    // CFileException on failure.
    void Commit();

private:
    std::unique_ptr<CSafeOutputFile> m_pFile;
    std::unique_ptr<CPosixFile> m_pStandardOutput;
};
