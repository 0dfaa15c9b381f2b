#pragma once
// Every window of the program, created once in a fixed order: the main window, then the dialogs,
// each handed to the window (or to the dialog) that opens it. They live until the program ends.
#include <memory>

namespace orvalis {

class TForm1;
class TfmInfo;
class TfmMicroSetup;
class TfmQuickEdit;
class TfmScopeEdit;

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

private:
    std::unique_ptr<TForm1> m_form;
};

} // namespace orvalis
