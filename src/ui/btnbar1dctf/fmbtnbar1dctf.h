#pragma once
// The plotter-mode button bar: which of the two CTFs the controls act on, the envelope switch, the
// defocus map switch and the way back to analysis mode. The buttons show the main window's actions.
#include <QWidget>

class QToolButton;

namespace orvalis {

class TfmBtnBar1dCTF : public QWidget {
    Q_OBJECT
public:
    explicit TfmBtnBar1dCTF(QWidget *parent = nullptr);

    QToolButton *btn1stCTF;
    QToolButton *btn2ndCTF;
    QToolButton *btnEnvelopes;
    QToolButton *btnShow3D;
    QToolButton *btnOrvalis;
};

} // namespace orvalis
