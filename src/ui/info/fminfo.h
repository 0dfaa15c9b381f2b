#pragma once
// The info window: a plain-text summary of the instruments in use, to read, select and copy.
#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

namespace orvalis {

class TfmInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfmInfo(QWidget *parent = nullptr);

    // Before every showing: the text is rebuilt from these lines and scrolled to the top.
    void FormActivate(const QStringList &lines);

private:
    QPlainTextEdit *Memo = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr;
};

} // namespace orvalis
