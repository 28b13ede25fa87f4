#pragma once

#include <QString>

#include <stdexcept>
#include <string>

// The one exception type of the utility layer. It carries what failed, the
// file (empty when no file is involved) and the technical reason, such as
// the system's error text; the user's text is composed where the error is
// shown. what() is the technical text.
class UtilError : public std::runtime_error
{
public:
    enum Failure
    {
        BadText,     // a text that does not decode
        CannotRead,  // a file that cannot be read
        CannotWrite, // a file that cannot be created or written
    };

    UtilError(Failure failure, const std::string& detail, const QString& path = QString())
        : std::runtime_error(path.isEmpty() ? detail : "\"" + path.toStdString() + "\": " + detail),
          m_failure(failure), m_detail(detail), m_path(path)
    {
    }

    Failure What() const { return m_failure; }
    const std::string& Detail() const { return m_detail; }
    const QString& Path() const { return m_path; }

private:
    Failure m_failure;
    std::string m_detail;
    QString m_path;
};
