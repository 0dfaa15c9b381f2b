#pragma once
// The splash picture shown while the program starts: borderless, on top, centred on the screen.
#include <QWidget>

class QLabel;

namespace orvalis {

class TfmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfmSplash(QWidget *parent = nullptr);

    // Shows the picture and paints it before returning, so it is seen while the forms are created.
    void showAndPaint();

    QLabel *Image1 = nullptr;
};

} // namespace orvalis
