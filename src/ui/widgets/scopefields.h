#pragma once
// The labelled fields of one library entry (Edit1 to Edit7, "Voltage (kV):" to "Convergence (mrad):",
// and edC5, "C5 (mm):", empty for an entry without it), as the setup and the edit dialog both show them.
#include "store/scopelibrary.h"

class QFormLayout;
class QLineEdit;
class QWidget;

namespace orvalis {

struct ScopeFields {
    // Adds the fields to `form` in the dialogs' order: Voltage, Cs, Cc, energy spread, HT ripple,
    // lens instability, convergence, C5. `parent` owns them.
    void addTo(QFormLayout *form, QWidget *parent);
    ScopeData texts() const;
    void setTexts(const ScopeData &texts);

    QLineEdit *Edit1 = nullptr; // "Voltage"
    QLineEdit *Edit2 = nullptr; // "Cs"
    QLineEdit *Edit3 = nullptr; // "Cc"
    QLineEdit *Edit4 = nullptr; // "dE"
    QLineEdit *Edit5 = nullptr; // "Convergence"
    QLineEdit *Edit6 = nullptr; // "dvv"
    QLineEdit *Edit7 = nullptr; // "dii"
    QLineEdit *edC5 = nullptr;  // "C5", optional
};

} // namespace orvalis
