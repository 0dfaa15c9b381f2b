#pragma once
// Every window of the program, created once at start-up in a fixed order: the main window first (its
// creation does the whole initialisation and counts this start), then the dialogs, which are handed
// to it. The dialogs are windows of their own, not children of the main window (several of their
// controls have the same names as the window's), and end before it.
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
    std::unique_ptr<TAboutBox> AboutBox;
    std::unique_ptr<TfmUsed> fmUsed;
};

} // namespace orvalis
