#include "ui/main/formset.h"

#include "ui/about/aboutbox.h"
#include "ui/info/fminfo.h"
#include "ui/main/form1.h"
#include "ui/microedit/fmscopeedit.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/quicksetup/fmquickedit.h"
#include "ui/used/fmused.h"

namespace orvalis {

FormSet::FormSet()
{
    // The main window first: its creation reads the settings and draws everything once. Then the
    // dialogs in their fixed order; the About box and the usage dialog compose their use-count texts
    // as they are created, with this start already counted.
    m_form = std::make_unique<TForm1>();
    microSetup = new TfmMicroSetup(m_form.get());
    quickEdit = new TfmQuickEdit(m_form.get());
    m_aboutBox = std::make_unique<TAboutBox>(m_form->store().useCount());
    info = new TfmInfo(m_form.get());
    m_used = std::make_unique<TfmUsed>(m_form->store().useCount(), m_aboutBox.get());
    scopeEdit = new TfmScopeEdit(m_form.get());
    aboutBox = m_aboutBox.get();
    used = m_used.get();

    microSetup->setEditDialog(scopeEdit);
    m_form->setup().setDialogs(microSetup, quickEdit, info);
    m_form->help().setAboutDialogs(aboutBox, used);
}

// The window lets go of the About box and the usage dialog before they end.
FormSet::~FormSet()
{
    m_form->help().setAboutDialogs(nullptr, nullptr);
}

} // namespace orvalis
