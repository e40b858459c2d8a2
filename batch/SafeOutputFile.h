#pragma once

#include "PosixFile.h"

#include <string>

// Output that replaces a file only once it is complete: the bytes go to a temporary file
// beside the target, which Commit() renames over it. Until then, and whenever anything
// fails, the target keeps its old contents; an uncommitted temporary file is removed.
class CSafeOutputFile
{
public:
    // Creates the temporary file; raises CFileException naming the target on failure.
    explicit CSafeOutputFile(std::string targetPath);
    ~CSafeOutputFile();
    CSafeOutputFile(const CSafeOutputFile &) = delete;
    CSafeOutputFile &operator=(const CSafeOutputFile &) = delete;

    [[nodiscard]] CFile &File() { return m_file; }

    // Gives the new file the target's permissions (or the usual ones for a new file), closes
    // it and renames it over the target. Raises CFileException naming the target on failure.
    void Commit();

private:
    std::string m_strTarget;
    std::string m_strTemp;
    CPosixFile m_file;
    bool m_bCommitted = false;
};
