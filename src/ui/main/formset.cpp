#include "ui/main/formset.h"

#include "ui/about/aboutbox.h"
#include "ui/main/form1.h"
#include "ui/used/fmused.h"

namespace orvalis {

FormSet::FormSet()
{
    m_form = std::make_unique<TForm1>();
    // Both compose their use-count texts now, with this start already counted.
    m_aboutBox = std::make_unique<TAboutBox>(m_form->useCount());
    m_used = std::make_unique<TfmUsed>(m_form->useCount(), m_aboutBox.get());
    aboutBox = m_aboutBox.get();
    used = m_used.get();
    m_form->setAboutDialogs(aboutBox, used);
}

// The window lets go of the dialogs before they end.
FormSet::~FormSet()
{
    m_form->setAboutDialogs(nullptr, nullptr);
}

} // namespace orvalis
