#pragma once

#include <functional>
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
    // Takes a complete file to put in place later, with others.
    using Keep = std::function<void(std::unique_ptr<CSafeOutputFile>)>;

    // Raises CFileException naming the target on failure. With `keep`, Commit hands a
    // complete file that is to replace its target over to it instead of putting it in place.
    explicit COutputFile(const std::string &path, const Keep *keep = nullptr);
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
    const Keep *m_pKeep;
};
