#pragma once
// The one exception type of the program: a user-facing text, shown as it stands in a message box
// by whoever catches it (a dialog, or the application's default error report).
#include <QByteArray>
#include <QString>
#include <exception>

namespace orvalis {

class OrvalisError : public std::exception {
public:
    explicit OrvalisError(QString text) : m_text(std::move(text)), m_utf8(m_text.toUtf8()) {}
    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

// What a message quotes of a text the user typed or a file held: its first line, and of a line longer
// than kInputExcerptMax characters its beginning and end around a "…", so that a message box never
// grows wider than the screen. A text left shorter ends in "…" as well. Short one-line texts come back
// unchanged.
inline constexpr int kInputExcerptMax = 40;
QString inputExcerpt(const QString &text);

} // namespace orvalis
