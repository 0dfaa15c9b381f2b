#include "aboutbox.h"

#include "core/buildinfo.h"
#include "core/usagetexts.h"
#include "ui/splash/programpictures.h"
#include "ui/widgets/dialogplacement.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

namespace orvalis {
namespace {

QLabel *namedLabel(const char *name, const QString &text = QString())
{
    auto *l = new QLabel(text);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// A link label when there is an address, plain text when there is none. Links take the keyboard too
// (Tab, then Enter).
void setAddress(QLabel *label, const QString &address, const QString &href, const QString &none)
{
    if (address.isEmpty()) {
        label->setText(none);
        label->setTextFormat(Qt::PlainText);
        return;
    }
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"%1\" style=\"color: #0000ff; text-decoration: underline;\">%2</a>")
                       .arg(href.toHtmlEscaped(), address.toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setCursor(Qt::PointingHandCursor);
}

QUrl mailUrl(const QString &contact)
{
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(contact);
    return url;
}

} // namespace

AboutFacts AboutFacts::ofThisBuild()
{
    return {QString::fromUtf8(buildinfo::Version), QString::fromUtf8(buildinfo::ReleaseDate),
            QString::fromUtf8(buildinfo::HomePage), QString::fromUtf8(buildinfo::Contact)};
}

TAboutBox::TAboutBox(int useCount, QWidget *parent, const AboutFacts &facts) : QDialog(parent), m_facts(facts)
{
    FormCreate(useCount);
    openCentredOnMainWindow(this);
}

void TAboutBox::FormCreate(int useCount)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Orvalis"));
    setModal(true);

    auto *Panel1 = new QFrame;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setAutoFillBackground(true);
    QPalette light = Panel1->palette();
    light.setColor(QPalette::Window, QColor(0xF4, 0xF4, 0xF0));
    Panel1->setPalette(light);

    ProgramIcon = namedLabel("ProgramIcon");
    ProgramIcon->setFixedSize(48, 48);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(programIcon().pixmap(48, 48));
    ProductName = namedLabel("ProductName", QStringLiteral("Orvalis"));
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    ProductName->setFont(bold);
    Label1 = namedLabel("Label1", QStringLiteral("Version ") + m_facts.version);
    Label4 = namedLabel("Label4", m_facts.releaseDate);
    laUsed = namedLabel("laUsed", timesUsedText(useCount));
    laUsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QLabel *notice = namedLabel("laNotice", QStringLiteral("Provided as it is, without warranty of any kind."));
    Comments = namedLabel("Comments", QStringLiteral("Please direct bug reports, comments and suggestions to:"));
    Comments->setWordWrap(true);
    Label2 = namedLabel("Label2");
    Label3 = namedLabel("Label3");
    setAddress(Label2, m_facts.contact, mailUrl(m_facts.contact).toString(),
               QStringLiteral("(no contact address in this build)"));
    setAddress(Label3, m_facts.homePage, QUrl::fromUserInput(m_facts.homePage).toString(),
               QStringLiteral("(no home page in this build)"));
    connect(Label2, &QLabel::linkActivated, this, &TAboutBox::Label2Click);
    connect(Label3, &QLabel::linkActivated, this, &TAboutBox::Label3Click);

    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setFixedHeight(64);
    QString note = QStringLiteral("If you find Orvalis useful in your work, please write a few lines "
                                  "and tell what you use it for and what you miss.");
    if (!m_facts.homePage.isEmpty())
        note += QStringLiteral(" News and new versions: ") + m_facts.homePage;
    Memo1->setPlainText(note);
    QTextCursor all(Memo1->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);

    auto *heading = new QGridLayout;
    heading->addWidget(ProgramIcon, 0, 0, 3, 1, Qt::AlignTop);
    heading->addWidget(ProductName, 0, 1);
    heading->addWidget(Label1, 1, 1);
    heading->addWidget(Label4, 2, 1);
    heading->addWidget(laUsed, 2, 2);
    heading->setColumnStretch(1, 1);
    heading->setHorizontalSpacing(12);
    auto *panel = new QVBoxLayout(Panel1);
    panel->addLayout(heading);
    panel->addWidget(notice);
    panel->addSpacing(6);
    panel->addWidget(Comments);
    panel->addWidget(Label2);
    panel->addWidget(Label3);
    panel->addWidget(Memo1);

    OKButton = new QPushButton(QStringLiteral("OK"));
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    auto *top = new QVBoxLayout(this);
    top->addWidget(Panel1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);
    top->addLayout(buttons);
    resize(sizeHint().expandedTo(QSize(369, 277)));
}

// The result is not looked at: without a mail program or browser nothing happens.
void TAboutBox::Label2Click()
{
    if (!m_facts.contact.isEmpty())
        QDesktopServices::openUrl(mailUrl(m_facts.contact));
}

void TAboutBox::Label3Click()
{
    if (!m_facts.homePage.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(m_facts.homePage));
}

} // namespace orvalis
