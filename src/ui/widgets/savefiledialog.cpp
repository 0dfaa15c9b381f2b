#include "savefiledialog.h"

#include "ui/widgets/dialogmessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace orvalis {

SaveFileDialog::SaveFileDialog(QWidget *parent, const QString &caption) : QFileDialog(parent, caption) {}

void SaveFileDialog::accept()
{
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo info(files.first());
        // The limit is the folder's file system's, in bytes of the encoded name; an existing file's
        // name fits by definition, and a folder that does not exist has no limit to ask for.
        const long limit = info.exists() ? -1
                                         : ::pathconf(QFile::encodeName(info.absolutePath()).constData(), _PC_NAME_MAX);
        const qsizetype characters = info.fileName().size();
        const qsizetype bytes = QFile::encodeName(info.fileName()).size();
        if (limit > 0 && bytes > limit) {
            const QString folder = QDir::toNativeSeparators(info.absolutePath());
            showDialogMessage(
                this, QMessageBox::Warning,
                bytes == characters
                    ? QStringLiteral("This file name is too long: it has %1 characters, and a name in the folder %2 "
                                     "may have at most %3.\r\nChoose a shorter name.")
                          .arg(characters)
                          .arg(folder)
                          .arg(limit)
                    : QStringLiteral("This file name is too long: it takes %1 bytes on the disk, and a name in the "
                                     "folder %2 may take at most %3.\r\nChoose a shorter name.")
                          .arg(bytes)
                          .arg(folder)
                          .arg(limit));
            return;
        }
    }
    QFileDialog::accept();
}

} // namespace orvalis
