#pragma once
// The save dialog of the window's save commands: Qt's own file dialog, which refuses a name longer
// than the file system allows by staying open without a word. This one says why.
#include <QFileDialog>

namespace orvalis {

class SaveFileDialog : public QFileDialog {
    Q_OBJECT
public:
    SaveFileDialog(QWidget *parent, const QString &caption);

    void accept() override;
};

} // namespace orvalis
