#include "savefiledialog.h"

#include "ui/widgets/dialogmessage.h"
#include "ui/widgets/dialogplacement.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <unistd.h>

namespace orvalis {

SaveFileDialog::SaveFileDialog(QWidget *parent, const QString &caption) : QFileDialog(parent, caption)
{
    openCentredOnMainWindow(this);
}

QString SaveFileDialog::nameTooLong() const
{
    const QStringList files = selectedFiles();
    if (files.isEmpty())
        return QString();
    const QFileInfo info(files.first());
    // The limit is the folder's file system's, in bytes of the encoded name; an existing file's
    // name fits by definition, and a folder that does not exist has no limit to ask for.
    const long limit = info.exists() ? -1
                                     : ::pathconf(QFile::encodeName(info.absolutePath()).constData(), _PC_NAME_MAX);
    const qsizetype characters = info.fileName().size();
    const qsizetype bytes = QFile::encodeName(info.fileName()).size();
    if (limit <= 0 || bytes <= limit)
        return QString();
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (bytes == characters)
        return QStringLiteral("This file name is too long: it has %1 characters, and a name in the folder %2 may "
                              "have at most %3.\r\nChoose a shorter name.")
            .arg(characters)
            .arg(folder)
            .arg(limit);
    return QStringLiteral("This file name is too long: it takes %1 bytes on the disk, and a name in the folder %2 "
                          "may take at most %3.\r\nChoose a shorter name.")
        .arg(bytes)
        .arg(folder)
        .arg(limit);
}

void SaveFileDialog::accept()
{
    const QString reason = nameTooLong();
    if (!reason.isEmpty()) {
        showDialogMessage(this, QMessageBox::Warning, reason);
        return;
    }
    QFileDialog::accept();
}

void SaveFileDialog::showEvent(QShowEvent *event)
{
    QFileDialog::showEvent(event);
    if (m_watching)
        return;
    // Connected after the dialog's own update of the button, so this comes last.
    if (auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        connect(edit, &QLineEdit::textChanged, this, &SaveFileDialog::keepSaveLive);
        m_watching = true;
    }
}

// A greyed button explains nothing; pressed, it leads to the message of accept().
void SaveFileDialog::keepSaveLive()
{
    auto *buttons = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QPushButton *save = buttons ? buttons->button(QDialogButtonBox::Save) : nullptr;
    if (save && !nameTooLong().isEmpty())
        save->setEnabled(true);
}

} // namespace orvalis
