// Program entry: the splash, every window in its order, then the event loop.
#include "ui/main/form1.h"
#include "ui/main/formset.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/programstart.h"
#include "ui/splash/fmsplash.h"
#include "ui/splash/programpictures.h"
#include "ui/widgets/errorreport.h"

#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// For the start-up benchmark: with ORVALIS_STARTUP_PROBE set, the program says "first paint" on its
// standard output once the main window has been painted for the first time, and ends.
class FirstPaintProbe : public QObject {
public:
    explicit FirstPaintProbe(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window) {
            qApp->removeEventFilter(this);
            // Queued: the rest of this paint pass, the window's children included, comes first.
            QTimer::singleShot(0, qApp, [] {
                std::fputs("first paint\n", stdout);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

int main(int argc, char *argv[])
{
    orvalis::ErrorReportingApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvalis"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvalis"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(orvalis::programIcon());
    QLocale::setDefault(QLocale::c());
    if (const std::optional<int> status = orvalis::prepareProgram())
        return *status;
    // Qt draws nothing before its application object exists: the splash comes as soon as the
    // command line has been settled.
    auto splash = std::make_unique<orvalis::TfmSplash>();
    splash->showAndPaint();

    orvalis::FormSet forms;
    splash.reset();

    std::unique_ptr<FirstPaintProbe> probe;
    if (qEnvironmentVariableIsSet("ORVALIS_STARTUP_PROBE"))
        probe = std::make_unique<FirstPaintProbe>(&forms.form());
    forms.form().show();
    // `orvalis image.mrc`: the micrograph opens once the window is up.
    const QStringList files = orvalis::micrographArguments(QCoreApplication::arguments());
    if (!files.isEmpty())
        QTimer::singleShot(0, &forms.form(), [&forms, files] { forms.form().micrographs().open(files.first()); });
    return app.exec();
}
