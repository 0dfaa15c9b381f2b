#pragma once
// The options dialog: the monochrome look of the 1D chart and the working ranges of the main window.
// It edits a copy of the ranges; the window applies what the dialog gives back.
#include "core/conventions.h"
#include "core/optionranges.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace orvalis {

class TfmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfmOptions(QWidget *parent = nullptr);

    // The window's ranges, shown in the fields at every showing.
    void setRanges(const OptionRanges &ranges) { m_ranges = ranges; }
    // The ranges as the dialog leaves them: after OK the fields up to a failing one applied, otherwise
    // as given.
    const OptionRanges &ranges() const { return m_ranges; }
    // After OK: a field was edited and all of them were applied, so the instrument is loaded again and
    // the curves and the pattern are redrawn.
    bool reloadNeeded() const { return m_reloadNeeded; }
    // The conventions of corrected instruments, shown at every showing; after OK as chosen.
    void setConventions(const Conventions &conventions) { m_conventions = conventions; }
    const Conventions &conventions() const { return m_conventions; }

    bool isMonochrome() const;
    // Sets the check as the program does (the stored choice at start); a change switches the chart.
    void setMonochrome(bool on);

    QCheckBox *chk1DCTFMono = nullptr;
    QCheckBox *chkFineDefocus = nullptr; // the defocus in steps of 0.1 nm
    QComboBox *cbA3Convention = nullptr, *cbResolutionUnit = nullptr;
    QLineEdit *edDefocusMax = nullptr, *edDefocusMin = nullptr, *edUpTo = nullptr, *ed2ast = nullptr, *ed3ast = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr;

signals:
    // Every change of the check, by the user or by the program: the chart follows at once.
    void monochromeChanged(bool on);

public slots:
    void done(int result) override; // FormClose

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void chk1DCTFMonoClick();
    void applyFields();

    OptionRanges m_ranges;
    Conventions m_conventions;
    bool m_reloadNeeded = false;
    bool m_rememberedMonochrome = false;
};

} // namespace orvalis
