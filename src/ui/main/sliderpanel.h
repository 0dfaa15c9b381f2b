#pragma once
// The aberration controls (paSliders): a slider, a field and, for the first three, a jump button per
// aberration (defocus, two-fold and three-fold astigmatism) and the magnification slider and field
// with the convergence beside its title. The panel only shows values and says what the user did.
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace orvalis {

class ScrollBar;

class SliderPanel : public QWidget {
    Q_OBJECT
public:
    // The rows in the panel's order; a row's number is its slider's (ScrollBar1 ...) minus one.
    enum Row { Defocus, Astigmatism, Astigmatism3, Magnification };

    explicit SliderPanel(QWidget *parent = nullptr);
    ~SliderPanel() override;

    // Moving a slider raises its change at once, inside this call, when the position changes.
    void setPosition(Row row, int position);
    int position(Row row) const;
    void setRange(Row row, int minimum, int maximum);
    void setMaximum(Row row, int maximum);
    int minimum(Row row) const;
    int maximum(Row row) const;
    QString fieldText(Row row) const;
    void setFieldText(Row row, const QString &text);
    void setConvergenceText(const QString &text); // "(Convergence: 0.1000 mrad)"
    // The sliders first, then the fields. Set once the panel sits in the window: moving a built panel
    // into another parent rebuilds its part of the focus chain in creation order.
    void setTabOrder();

signals:
    void changed(int row, int position);      // a slider's position changed (SliderPanel::Row), to this
    void scrolled(int row, bool endOfScroll); // a user's step on a slider, or its end
    void entered(int row);                    // Enter or Return in a row's field
    void jumped(int row);                     // a jump button: "S" for defocus, "0" for the astigmatisms

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ScrollBar *m_bars[4];
    QLineEdit *m_fields[4];
    QToolButton *m_jumps[3];
    QLabel *m_convergence;
};

} // namespace orvalis
