// Takes the pictures of the README and the AppStream data from the real main window: the window is
// built, switched into each view through its own actions, painted and grabbed into PNG files.
// Usage: orvalis_screenshots <output folder>; scripts/make-screenshots.sh runs it under Xvfb with
// an empty settings store.
// orvalis_screenshots --scene <analysis|plotter|intensity|workbench> [--maximised] [--monochrome] [--zoomed]
// <file.png> shows one view as a user would open it and grabs the whole screen, window manager's
// frame included: run it under
// a window manager at the screen size and scale to be shown. The scenes fit, specimen and options
// show that dialog over the window, as the user meets it, to check its texts at a scale.
#include "core/ctffunctions.h"
#include "core/scopedata.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/fitctf/fitctfdialog.h"
#include "ui/main/form1.h"
#include "ui/main/micrographcontroller.h"
#include "ui/options/fmoptions.h"
#include "ui/specimen/specimendialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cmath>
#include <memory>
#include <utility>

namespace {

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
}

bool trigger(QWidget &form, const char *name)
{
    auto *action = form.findChild<QAction *>(QString::fromLatin1(name));
    if (!action) {
        QTextStream(stderr) << "no action named " << name << Qt::endl;
        return false;
    }
    action->trigger();
    return true;
}

bool click(QWidget &form, const char *name)
{
    auto *button = form.findChild<QAbstractButton *>(QString::fromLatin1(name));
    if (!button) {
        QTextStream(stderr) << "no button named " << name << Qt::endl;
        return false;
    }
    button->click();
    return true;
}

QImage picture(QWidget &form)
{
    settle();
    return form.grab().toImage();
}

bool save(const QImage &image, const QDir &folder, const QString &name)
{
    const QString path = folder.filePath(name);
    if (!image.save(path, "PNG")) {
        QTextStream(stderr) << "cannot write " << QDir::toNativeSeparators(path) << Qt::endl;
        return false;
    }
    QTextStream(stdout) << QDir::toNativeSeparators(path) << Qt::endl;
    return true;
}

// A synthetic cryo-EM micrograph (300 kV, 1.06 A pixels, 1.5 um underfocus with 40 nm of two-fold
// astigmatism, a B-factor's decay and noise) opened, its model at the same values.
bool workbench(orvalis::TForm1 &form, bool zoomed)
{
    using namespace orvalis;
    CtfSession &session = form.session();
    TScopeData cryo = defaultScope();
    cryo.Company = QStringLiteral("Cryo-EM");
    cryo.Model = QStringLiteral("300 kV FEG");
    cryo.Voltage = 300;
    cryo.Cs = 2.7e6;
    cryo.Cc = 2.7e6;
    cryo.dE = 0.7;
    cryo.Convergence = 0.01e-3;
    form.setup().ApplyScopeRecord(cryo);
    const double defocus = -1500, a2 = 40;
    // Typed, as a user types them: values beyond the sliders widen their ranges.
    for (const auto &[field, value] : {std::pair{"edDefocus", defocus}, std::pair{"edAstigm", a2}}) {
        auto *edit = form.findChild<QLineEdit *>(QString::fromLatin1(field));
        if (!edit)
            return false;
        edit->setText(QString::number(value));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
    }
    OpticsState state = session.state();
    static QTemporaryDir folder;
    SyntheticOptions o;
    o.width = o.height = 2048;
    o.pixelSizeNm = 0.106;
    o.noise = 1.5;
    const QString path = folder.filePath(QStringLiteral("workbench.mrc"));
    if (!writeMrcFloat(path, syntheticMicrograph(o, [state, defocus](double kx, double ky) {
                           const double k2 = kx * kx + ky * ky;
                           return std::sin(CtfArgument(state, kx, ky, defocus)) * std::exp(-0.15 * k2);
                       })))
        return false;
    QEventLoop loop;
    QObject::connect(&form.micrographs().micrograph(), &MicrographSession::spectrumChanged, &loop, &QEventLoop::quit);
    form.micrographs().open(path);
    loop.exec();
    settle();
    if (!trigger(form, "SpectrumRings1"))
        return false;
    if (zoomed && (!trigger(form, "SpectrumZoomIn1") || !trigger(form, "SpectrumZoomIn1")))
        return false;
    settle();
    // The pointer over the measured half: the status bar reads the spectrum and the model out there.
    if (auto *image = form.findChild<QWidget *>(QStringLiteral("Image1"))) {
        const QPoint at(image->width() * 3 / 4, image->height() / 3);
        QMouseEvent move(QEvent::MouseMove, at, image->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(image, &move);
    }
    return true;
}

// One view, shown as the user opens it; the picture is the whole screen.
int scene(const QStringList &args)
{
    const QString view = args.value(args.indexOf(QStringLiteral("--scene")) + 1);
    const QString file = args.last();
    orvalis::TForm1 form;
    if (args.contains(QStringLiteral("--maximised")))
        form.showMaximized();
    else
        form.show();
    if (args.contains(QStringLiteral("--monochrome")))
        form.setup().setMonochrome(true);
    if (view == QLatin1String("analysis")) {
        if (!trigger(form, "Show2DCTF1") || !trigger(form, "N3D1"))
            return 1;
    } else if (view == QLatin1String("plotter")) {
        if (!click(form, "SpeedButton8") || !trigger(form, "showEnvelopes"))
            return 1;
        // A second instrument of another voltage, so that the two curves differ.
        if (!click(form, "btn2ndCTF"))
            return 1;
        orvalis::TScopeData second = orvalis::defaultScope();
        second.Company = QStringLiteral("Second");
        second.Model = QStringLiteral("300 kV FEG");
        second.Voltage = 300;
        form.setup().ApplyScopeRecord(second);
    } else if (view == QLatin1String("intensity")) {
        // The squared curves with three-fold astigmatism typed in: the axes from 0, the header naming
        // the profile's direction; the pointer over the map reads it out in the status bar.
        if (!trigger(form, "Intensity1") || !trigger(form, "N3D1"))
            return 1;
        auto *a3 = form.findChild<QLineEdit *>(QStringLiteral("edAstigm3"));
        if (!a3)
            return 1;
        a3->setText(QStringLiteral("500"));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(a3, &enter);
        settle();
        if (auto *map = form.findChild<QWidget *>(QStringLiteral("Chart2"))) {
            const QPoint at(map->width() / 2, map->height() / 2);
            QMouseEvent move(QEvent::MouseMove, at, map->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(map, &move);
        }
    } else if (view == QLatin1String("workbench")) {
        // A micrograph with a fit applied, as the user checks it: its spectrum beside the model with
        // the model's zeros over the measured half, and the average, model and agreement on the chart.
        if (!trigger(form, "N3D1") || !workbench(form, args.contains(QStringLiteral("--zoomed"))))
            return 1;
    } else if (view == QLatin1String("fit") || view == QLatin1String("specimen") || view == QLatin1String("options")) {
        std::unique_ptr<QDialog> dialog;
        if (view == QLatin1String("fit")) {
            auto *fit = new orvalis::FitCtfDialog(&form);
            // In the order the window gives them: the note comes after the values.
            fit->setRequest(orvalis::FitRequest(), {300, 2.7, 0.07, 0.83});
            fit->setContext(QStringLiteral("Voltage and Cs are the microscope's, the amplitude contrast the specimen's "
                                           "and the pixel size the micrograph's: a change here changes them there, as "
                                           "Setup's dialogs do. Unless fitted, the phase shift is 0° (Setup > "
                                           "Specimen and Detector)."));
            dialog.reset(fit);
        } else if (view == QLatin1String("specimen")) {
            auto *specimen = new orvalis::SpecimenDialog(&form);
            specimen->setTerms({0.07, 0, 0, 0.83});
            dialog.reset(specimen);
        } else {
            dialog = std::make_unique<orvalis::TfmOptions>(&form);
        }
        settle();
        dialog->show();
        settle();
        const QImage shot = form.screen()->grabWindow(0).toImage();
        if (!shot.save(file, "PNG"))
            return 1;
        QTextStream(stdout) << file << " dialog " << dialog->frameGeometry().width() << "x"
                            << dialog->frameGeometry().height() << Qt::endl;
        return 0;
    } else {
        QTextStream(stderr) << "no view named " << view << Qt::endl;
        return 2;
    }
    settle();
    settle();
    const QImage shot = form.screen()->grabWindow(0).toImage();
    if (!shot.save(file, "PNG")) {
        QTextStream(stderr) << "cannot write " << file << Qt::endl;
        return 1;
    }
    QTextStream(stdout) << file << " window " << form.frameGeometry().x() << "," << form.frameGeometry().y() << " "
                        << form.frameGeometry().width() << "x" << form.frameGeometry().height() << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvalis"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvalis"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QLocale::setDefault(QLocale::c());
    if (QApplication::arguments().contains(QStringLiteral("--scene")))
        return scene(QApplication::arguments());
    if (argc != 2) {
        QTextStream(stderr) << "usage: orvalis_screenshots <output folder>" << Qt::endl;
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        QTextStream(stderr) << "cannot create " << folder.path() << Qt::endl;
        return 1;
    }

    orvalis::TForm1 form;
    form.resize(1280, 720); // fits the 1366 x 768 laptop screen the program is made for
    form.show();
    if (!trigger(form, "Show2DCTF1") || !trigger(form, "N3D1"))
        return 1;
    const QImage analysis = picture(form);
    bool ok = save(analysis, folder, QStringLiteral("main-window.png"));
    if (ok && click(form, "SpeedButton8")) {
        const QImage plotter = picture(form);
        if (plotter == analysis)
            QTextStream(stderr) << "\"CTF Plotter\" changed nothing; no picture of plotter mode" << Qt::endl;
        else
            ok = save(plotter, folder, QStringLiteral("plotter-mode.png"));
    }
    form.close();
    return ok ? 0 : 1;
}
