#include "formset.h"

#include "ui/about/aboutbox.h"
#include "ui/main/form1.h"
#include "ui/used/fmused.h"

namespace orvalis {

FormSet::FormSet() : Form1(std::make_unique<TForm1>())
{
    // Both compose their use-count texts now, with this start already counted.
    AboutBox = std::make_unique<TAboutBox>(Form1->useCount());
    fmUsed = std::make_unique<TfmUsed>(Form1->useCount(), AboutBox.get());
    Form1->setAboutDialogs(AboutBox.get(), fmUsed.get());
}

// The dialogs go first: the window keeps pointers to them until it ends.
FormSet::~FormSet()
{
    Form1->setAboutDialogs(nullptr, nullptr);
    fmUsed.reset();
    AboutBox.reset();
}

} // namespace orvalis
