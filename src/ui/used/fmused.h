#pragma once
// The usage dialog: how often the program has been started, shown at the 10th start and every 50th;
// closing it opens the About box.
#include <QDialog>

class QLabel;
class QPushButton;

namespace orvalis {

class TAboutBox;

class TfmUsed : public QDialog {
    Q_OBJECT
public:
    // The use count is this run's, already counting this start. The About box follows the dialog.
    TfmUsed(int useCount, TAboutBox *aboutBox, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QPushButton *OKBtn = nullptr;

public slots:
    void done(int result) override; // FormClose

private:
    void FormCreate(int useCount);

    TAboutBox *m_aboutBox;
};

} // namespace orvalis
