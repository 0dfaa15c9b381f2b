#pragma once
// Every window of the program, created once in a fixed order: the main window (its creation does the
// whole initialisation and counts this start), then the dialogs, each handed to the window (or to the
// dialog) that opens it. They live until the program ends.
#include <memory>

namespace orvalis {

class TForm1;
class TAboutBox;
class TfmInfo;
class TfmMicroSetup;
class TfmQuickEdit;
class TfmScopeEdit;
class TfmUsed;

class FormSet {
public:
    FormSet();
    ~FormSet();
    FormSet(const FormSet &) = delete;
    FormSet &operator=(const FormSet &) = delete;

    TForm1 &form() { return *m_form; }

    // Owned by the main window (their parent, over which they open centred).
    TfmMicroSetup *microSetup = nullptr;
    TfmQuickEdit *quickEdit = nullptr;
    TfmInfo *info = nullptr;
    TfmScopeEdit *scopeEdit = nullptr;
    // Windows of their own, not children of the main window: several of their controls have the
    // window's names (Panel1, Label1 ...), which must lead to the window's own controls.
    TAboutBox *aboutBox = nullptr;
    TfmUsed *used = nullptr;

private:
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<TAboutBox> m_aboutBox;
    std::unique_ptr<TfmUsed> m_used;
};

} // namespace orvalis
