#pragma once
// The options dialog and the library dialogs as the main window opens them, and the one way a
// dialog's instrument reaches the session and the views.

#include "core/optionranges.h"

#include <QObject>

#include <memory>

class QMainWindow;

namespace orvalis {

class CtfSession;
class InfoPanel;
class TfmInfo;
class TfmMicroSetup;
class TfmOptions;
class TfmQuickEdit;
class WindowActions;
struct TScopeData;

class SetupDialogs : public QObject {
    Q_OBJECT
public:
    struct Parts {
        CtfSession *session;
        WindowActions *actions;
        InfoPanel *info;
    };
    SetupDialogs(QMainWindow *window, const Parts &parts);
    ~SetupDialogs() override;

    // The library dialogs, created once after the window; their menu items stay disabled until then.
    void setDialogs(TfmMicroSetup *microSetup, TfmQuickEdit *quickEdit, TfmInfo *info);
    // Active scope record := record, loaded and drawn. A record the formulas cannot take is refused
    // with a message; the active record and the optics state stay as they were.
    bool ApplyScopeRecord(const TScopeData &record);
    void Microscope1Click();
    void QuickSetup1Click();
    void ShowInfo1Click();
    void Options1Click();
    void SpecimenDetector1Click();
    // Setup > Astigmatism and Cryo-EM Defocus; Apply and OK show the values at once.
    void editAstigmatism();
    void Image2Click();

    // The options dialog's check takes the session's choice and the chart follows it, as a click on
    // the check switches both.
    void showMonochrome();
    void setMonochrome(bool on); // as a click on the check does

signals:
    // The options dialog's working ranges, and whether the instrument is to be loaded again for them.
    void workingRangesChosen(const OptionRanges &ranges, bool reload);
    // Setup > Astigmatism's values (nm, nm, rad, rad), on Apply and on OK.
    void aberrationsChosen(double defocus, double a2, double a2Azimuth, double a3Azimuth);
    // A record applied whose own defocus differs from the controls': the views show it at that defocus.
    void recordDefocusShown(double defocus);

private:
    QMainWindow *m_window;
    Parts m_parts;
    // Not a child of the window: its controls' names (Label1 ... Label10) are the window's too.
    std::unique_ptr<TfmOptions> m_options;
    TfmMicroSetup *m_microSetup = nullptr;
    TfmQuickEdit *m_quickEdit = nullptr;
    TfmInfo *m_info = nullptr;
};

} // namespace orvalis
