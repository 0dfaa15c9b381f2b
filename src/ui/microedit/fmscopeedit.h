#pragma once
// The microscope edit dialog: one library entry's names and seven values, written to the library
// as typed on OK once they are known to load. An entry saved under new names is added; the one it
// was opened for stays.
#include "store/scopelibrary.h"
#include "ui/widgets/scopefields.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace orvalis {

class TfmScopeEdit : public QDialog {
    Q_OBJECT
public:
    explicit TfmScopeEdit(QWidget *parent = nullptr);

    // The texts the form starts with, also offered when the library has no model to edit yet.
    static ScopeData initialTexts();

    // Fills the form before it is shown: the entry's names and its seven texts as stored.
    void FormActivate(const QString &company, const QString &model, const ScopeData &entry);

    QString company() const;
    QString model() const;
    ScopeData values() const;

public slots:
    // Writes the entry and closes. A value that is no number or one the program cannot load, or a
    // name the library refuses, is reported; then nothing is stored and the dialog stays open with
    // everything typed.
    void OKBtnClick();

private:
    ScopeFields m_fields; // Edit1 to Edit7 and edC5
    QLineEdit *Edit8 = nullptr, *Edit9 = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr;
};

} // namespace orvalis
