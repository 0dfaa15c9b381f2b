#include "ui/widgets/dialogmessage.h"

#include "core/orvaliserror.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>

#include <algorithm>

namespace orvalis {

QMessageBox::StandardButton showDialogMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                              QMessageBox::StandardButtons buttons)
{
    QString title;
    switch (icon) {
    case QMessageBox::Warning: title = QStringLiteral("Warning"); break;
    case QMessageBox::Information: title = QStringLiteral("Information"); break;
    case QMessageBox::Critical: title = QStringLiteral("Error"); break;
    default: title = QStringLiteral("Orvalis"); break;
    }
    QMessageBox box(icon, title, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), buttons, parent);
    box.setObjectName(QStringLiteral("DialogMessage"));
    if (buttons.testFlag(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool confirmWarning(QWidget *parent, const QString &text)
{
    return showDialogMessage(parent, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::Cancel)
        == QMessageBox::Yes;
}

bool confirmInformation(QWidget *parent, const QString &text)
{
    return showDialogMessage(parent, QMessageBox::Information, text, QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok;
}

bool succeeds(QWidget *parent, const std::function<void()> &action)
{
    try {
        action();
    } catch (const OrvalisError &e) {
        showDialogMessage(parent, QMessageBox::Critical, e.text());
        return false;
    }
    return true;
}

void addOkCancel(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel)
{
    ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

QDialogButtonBox *okCancelBox(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel)
{
    auto *buttons = new QDialogButtonBox(dialog);
    ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("OKBtn"));
    cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

void keepTitleWhole(QDialog *dialog)
{
    // The title bar's font is often bold and larger; the icon and three buttons take about seven
    // lines' height of it at any scale.
    QFont font = dialog->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // The frame adds the program's name: "Specimen and Detector — Orvalis".
    QString text = dialog->windowTitle();
    const QString program = QGuiApplication::applicationDisplayName();
    if (!program.isEmpty() && program != text)
        text += QStringLiteral(" — ") + program;
    const int title = metrics.horizontalAdvance(text) + 8 * metrics.height();
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), title));
}

} // namespace orvalis
