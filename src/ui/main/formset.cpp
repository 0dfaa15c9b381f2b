#include "formset.h"

#include "ui/about/aboutbox.h"
#include "ui/main/form1.h"
#include "ui/used/fmused.h"

namespace orvalis {

FormSet::FormSet() : Form1(std::make_unique<TForm1>())
{
    // Both compose their use-count texts now, with this start already counted.
    AboutBox = new TAboutBox(Form1->useCount(), Form1.get());
    fmUsed = new TfmUsed(Form1->useCount(), AboutBox, Form1.get());
    Form1->setAboutDialogs(AboutBox, fmUsed);
}

FormSet::~FormSet() = default;

} // namespace orvalis
