#pragma once
// The panels of the main window's status bar: the mode (StatusPanel0), the fast-oscillation warning
// (Panel1 over StatusPanel1; a click on it asks for the explanation), the frequency and the curve
// under the pointer on the 1D chart (StatusPanel2, StatusPanel3), and an empty one (StatusPanel4).
#include <QWidget>

class QFrame;
class QLabel;

namespace orvalis {

class StatusPanels : public QWidget {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget *parent = nullptr);
    ~StatusPanels() override;

    void setModeText(const QString &text);
    void showMode(bool plotter); // the mode's name
    void setFastOscillation(bool shown);
    bool fastOscillationShown() const;
    void showPointer(const QString &frequency, const QString &curve);
    // The micrograph's curves under the pointer (StatusPanel5, shown only while it has a text).
    void showMicrographPointer(const QString &curves);
    void clearPointer();
    // The warning's panel is wider on a screen of 120 pixels per inch; every panel then grows, if need
    // be, to show its widest text whole in the window's font.
    void fitToScreen(bool dense);

signals:
    void warningClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_mode = nullptr, *m_frequency = nullptr, *m_curve = nullptr, *m_micrograph = nullptr;
    QWidget *m_warningPanel = nullptr;
    QFrame *m_warning = nullptr;
};

} // namespace orvalis
