#include "fmsplash.h"

#include "programpictures.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>

namespace orvalis {

TfmSplash::TfmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("fmSplash"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(200, 200);
    Image1->setPixmap(splashPicture());
    Image1->setScaledContents(true);
    auto *l = new QHBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(Image1);
    setFixedSize(200, 200);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TfmSplash::showAndPaint()
{
    show();
    raise();
    repaint();
    // Lets the window system map and draw the window now; user input waits for the main window.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace orvalis
