#pragma once
// The save dialog of the window's save commands: Qt's own file dialog, which refuses a name longer
// than the file system allows by greying its Save button, or by staying open on Enter, without a
// word. This one keeps Save live and says why it takes no such name.
#include <QFileDialog>

namespace orvalis {

class SaveFileDialog : public QFileDialog {
    Q_OBJECT
public:
    SaveFileDialog(QWidget *parent, const QString &caption);

    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Why the chosen name cannot be created, or empty.
    QString nameTooLong() const;
    void keepSaveLive();

    bool m_watching = false;
};

} // namespace orvalis
