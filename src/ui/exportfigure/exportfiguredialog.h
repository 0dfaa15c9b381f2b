#pragma once
// File > Export Figure...: what to draw (the 1D chart, the 2D pattern or the defocus map) and how, as
// a figure for a paper. The dialog edits a style and gives it back; the window draws and saves.
#include "chart/figure.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFontComboBox;
class QLabel;
class QSpinBox;

namespace orvalis {

class ExportFigureDialog : public QDialog {
    Q_OBJECT
public:
    enum class Subject { Chart, Pattern, Map };

    explicit ExportFigureDialog(QWidget *parent = nullptr);

    void setStyle(const FigureStyle &style);
    FigureStyle style() const;
    void setSubject(Subject subject);
    Subject subject() const;
    // The pattern or the map cannot be drawn while its view is off.
    void setSubjectAvailable(Subject subject, bool available);

private:
    void unitsChanged();
    void showPixels();

    QComboBox *m_subject;
    QDoubleSpinBox *m_width;
    QDoubleSpinBox *m_height;
    QComboBox *m_units; // mm, pixels
    QSpinBox *m_dpi;
    QLabel *m_pixels; // what the size gives in the other unit
    QFontComboBox *m_font;
    QDoubleSpinBox *m_fontSize;
    QComboBox *m_background;
    QComboBox *m_colours;
    QComboBox *m_legend;
    QCheckBox *m_grid;
};

} // namespace orvalis
