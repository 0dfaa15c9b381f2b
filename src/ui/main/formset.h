#pragma once
// Every window of the program, created once at start-up in a fixed order: the main window first (its
// creation does the whole initialisation and counts this start), then the dialogs, which are handed
// to it. The dialogs belong to the main window and end with it.
#include <memory>

namespace orvalis {

class TForm1;
class TAboutBox;
class TfmUsed;

struct FormSet {
    FormSet();
    ~FormSet();
    FormSet(const FormSet &) = delete;
    FormSet &operator=(const FormSet &) = delete;

    std::unique_ptr<TForm1> Form1;
    TAboutBox *AboutBox = nullptr;
    TfmUsed *fmUsed = nullptr;
};

} // namespace orvalis
