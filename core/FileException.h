#pragma once

#include <exception>
#include <string>

// The one error that travels as an exception: a device or file-system error of a CFile.
// Carries the cause, the system's error number and the file's path for the error report.
class CFileException : public std::exception
{
public:
    enum class Cause {
        Generic,
        FileNotFound,
        BadPath,
        TooManyOpenFiles,
        AccessDenied,
        DiskFull,
        HardIO,
        EndOfFile,
        SharingViolation, // the file is in use in a way that rules out this access
    };

    CFileException(Cause cause, int osError, std::string fileName);
    // For file layers that report a worded reason instead of an errno value.
    CFileException(Cause cause, std::string fileName, std::string reason);

    // Maps an errno value to its cause.
    [[nodiscard]] static Cause CauseFromErrno(int osError);

    // The system's wording of the error, e.g. "No such file or directory".
    [[nodiscard]] std::string Reason() const;

    [[nodiscard]] const char *what() const noexcept override { return m_strWhat.c_str(); }

    Cause m_cause;
    int m_lOsError;
    std::string m_strFileName;

private:
    std::string m_strReason;
    std::string m_strWhat;
};
