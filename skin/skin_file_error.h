#pragma once

#include <QString>

#include <stdexcept>
#include <string>

// A skin file or preview picture that cannot be read. It carries what
// failed, the file (empty while only bytes are known) and the technical
// reason; the user's text is composed where the error is shown. what() is
// the technical text.
class SkinFileError : public std::runtime_error
{
public:
    enum Failure
    {
        CannotOpen,  // the file cannot be opened or read
        NotSkinFile, // the bytes hold no skin
        NotPicture,  // the bytes hold no JPEG picture that may be shown
    };

    SkinFileError(Failure failure, const std::string& detail, const QString& path = QString())
        : std::runtime_error(path.isEmpty() ? detail : "\"" + path.toStdString() + "\": " + detail),
          m_failure(failure), m_detail(detail), m_path(path)
    {
    }

    // The same failure, now tied to the file it came from.
    SkinFileError InFile(const QString& path) const { return {m_failure, m_detail, path}; }

    Failure What() const { return m_failure; }
    const std::string& Detail() const { return m_detail; }
    const QString& Path() const { return m_path; }

private:
    Failure m_failure;
    std::string m_detail;
    QString m_path;
};
