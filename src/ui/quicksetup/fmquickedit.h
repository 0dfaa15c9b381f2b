#pragma once
// The quick setup dialog: the loaded instrument's values and the highest frequency shown, changed
// for this run only. It is given the optics state and the active scope record and gives back the
// record and the frequency as the fields left them.
#include "core/opticsstate.h"
#include "core/scopedata.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace orvalis {

class TfmQuickEdit : public QDialog {
    Q_OBJECT
public:
    explicit TfmQuickEdit(QWidget *parent = nullptr);

    // Before exec(): the fields show the optics state's values (not the record's) and count as not
    // modified; `record` is what OK writes into.
    void FormActivate(const OpticsState &state, const TScopeData &record);

    // After OK: the record and UpTo (nm^-1) with every non-empty field stored, in field order up to
    // a text that is not a number (which was reported, and stops there).
    const TScopeData &record() const { return m_record; }
    double upTo() const { return m_upTo; }
    bool conversionFailed() const { return m_failed; }
    // Whether the user changed any field since FormActivate.
    bool modified() const;

public slots:
    void OKBtnClick();

private:
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit5 = nullptr,
              *Edit6 = nullptr, *Edit7 = nullptr, *Edit8 = nullptr;
    QLineEdit *edC5 = nullptr; // mm, the instrument's fifth-order spherical aberration
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr;
    TScopeData m_record;
    double m_upTo = 10; // nm^-1
    bool m_failed = false;
};

} // namespace orvalis
