#include "ui/main/formset.h"

#include "ui/info/fminfo.h"
#include "ui/main/form1.h"
#include "ui/microedit/fmscopeedit.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/quicksetup/fmquickedit.h"

namespace orvalis {

FormSet::FormSet()
{
    // The main window first: its creation reads the settings and draws everything once. Then the
    // dialogs in their fixed order; the About box belongs after the quick setup and the usage dialog
    // after the info window, where the use count they show is final.
    m_form = std::make_unique<TForm1>();
    microSetup = new TfmMicroSetup(m_form.get());
    quickEdit = new TfmQuickEdit(m_form.get());
    info = new TfmInfo(m_form.get());
    scopeEdit = new TfmScopeEdit(m_form.get());

    microSetup->setEditDialog(scopeEdit);
    m_form->setDialogs(microSetup, quickEdit, info);
}

FormSet::~FormSet() = default;

} // namespace orvalis
