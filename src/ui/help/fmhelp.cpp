#include "fmhelp.h"

#include "core/datafolder.h"
#include "ui/splash/programpictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace orvalis {
namespace {

const QString IndexPage = QStringLiteral("index.html");

QToolButton *button(const char *name, const QString &text, const QIcon &icon, const QKeySequence &key)
{
    auto *b = new QToolButton;
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setIcon(icon);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    b->setShortcut(key);
    b->setToolTip(text + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + QLatin1Char(')'));
    return b;
}

} // namespace

QString installedHelpFolder()
{
    const QFileInfo index(dataFilePath(QStringLiteral("help/") + IndexPage));
    return index.exists() ? index.absolutePath() : QString();
}

TfmHelp::TfmHelp(const QString &folder, QWidget *parent) : QWidget(parent, Qt::Window), m_folder(folder)
{
    setObjectName(QStringLiteral("fmHelp"));
    setWindowTitle(QStringLiteral("Orvalis Help"));
    setWindowIcon(programIcon());

    btnContents = button("btnContents", QStringLiteral("&Contents"), style()->standardIcon(QStyle::SP_DirHomeIcon),
                         QKeySequence(Qt::ALT | Qt::Key_Home));
    btnBack = button("btnBack", QStringLiteral("&Back"), style()->standardIcon(QStyle::SP_ArrowBack),
                     QKeySequence::Back);
    btnForward = button("btnForward", QStringLiteral("&Forward"), style()->standardIcon(QStyle::SP_ArrowForward),
                        QKeySequence::Forward);
    HelpBrowser = new QTextBrowser;
    HelpBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    HelpBrowser->setOpenExternalLinks(true); // web and mail addresses go to the desktop's programs

    auto *bar = new QHBoxLayout;
    bar->addWidget(btnContents);
    bar->addWidget(btnBack);
    bar->addWidget(btnForward);
    bar->addStretch(1);
    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    top->addLayout(bar);
    top->addWidget(HelpBrowser, 1);

    connect(btnContents, &QToolButton::clicked, this, &TfmHelp::showContents);
    connect(btnBack, &QToolButton::clicked, HelpBrowser, &QTextBrowser::backward);
    connect(btnForward, &QToolButton::clicked, HelpBrowser, &QTextBrowser::forward);
    connect(HelpBrowser, &QTextBrowser::backwardAvailable, btnBack, &QToolButton::setEnabled);
    connect(HelpBrowser, &QTextBrowser::forwardAvailable, btnForward, &QToolButton::setEnabled);
    btnBack->setEnabled(false);
    btnForward->setEnabled(false);
    resize(780, 560);
}

void TfmHelp::showContents()
{
    if (m_folder.isEmpty() || !QFileInfo::exists(QDir(m_folder).filePath(IndexPage))) {
        HelpBrowser->setHtml(
            QStringLiteral("<h2>The help pages are missing</h2><p>They were looked for in the folder "
                           "\"help\" beside the program, in \"../share/orvalis/help\" relative to it (%1) "
                           "and in the source tree of a build. "
                           "Installing the program again puts them back.</p>")
                .arg(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toHtmlEscaped()));
    } else {
        HelpBrowser->setSource(QUrl::fromLocalFile(QDir(m_folder).filePath(IndexPage)));
    }
    show();
    raise();
    activateWindow();
}

} // namespace orvalis

namespace orvalis {

void TfmHelp::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the window, as it closes a dialog; the browser passes it on to us.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace orvalis
