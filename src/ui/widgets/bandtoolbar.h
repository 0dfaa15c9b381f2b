#pragma once
// A tool bar that is one band of the window's tool-bar row: it asks for the band's width, so a
// width the user left it with comes back, while the row's last band still takes what is left.
#include <QToolBar>

namespace orvalis {

class BandToolBar : public QToolBar {
    Q_OBJECT
public:
    BandToolBar(const QString &title, QWidget *parent = nullptr);

    int bandWidth() const { return m_bandWidth; }
    void setBandWidth(int px); // never narrower than the buttons need
    // The width the band has on screen; for a band not shown in this run, the one it asks for.
    int shownWidth() const { return m_laidOut ? width() : m_bandWidth; }
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int m_bandWidth = 0; // px
    bool m_laidOut = false;
};

} // namespace orvalis
