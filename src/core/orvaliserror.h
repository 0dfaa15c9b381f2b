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

} // namespace orvalis
