#pragma once
// The About box: program name, version, release, the use count of this run and the two addresses.
#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace orvalis {

// What the box tells about the program; a home page or contact address left empty is shown as
// plain text, never as a link.
struct AboutFacts {
    QString version;
    QString releaseDate; // "December 2026"
    QString homePage;    // web address
    QString contact;     // e-mail address

    static AboutFacts ofThisBuild();
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // The use count is the one of this run, already counting this start; it does not change later.
    explicit TAboutBox(int useCount, QWidget *parent = nullptr, const AboutFacts &facts = AboutFacts::ofThisBuild());

    QLabel *ProgramIcon = nullptr, *ProductName = nullptr, *Label1 = nullptr, *Label4 = nullptr, *laUsed = nullptr;
    QLabel *Comments = nullptr, *Label2 = nullptr, *Label3 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *OKButton = nullptr;

public slots:
    void Label2Click(); // the mail program, addressed to the contact
    void Label3Click(); // the browser, on the home page

private:
    void FormCreate(int useCount);

    AboutFacts m_facts;
};

} // namespace orvalis
