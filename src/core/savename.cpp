#include "savename.h"

namespace orvalis {

QString proposedSaveName(SaveView view, const TScopeData &first, const TScopeData &second, bool plotterMode)
{
    static const QString curvesSuffix = QStringLiteral("_1dCTF");
    QString suffix = curvesSuffix;
    if (view == SaveView::Pattern2D)
        suffix = QStringLiteral("_2dCTF");
    else if (view == SaveView::DefocusMap)
        suffix = QStringLiteral("_d_map");
    QString name = first.Company == defaultManufacturer() ? defaultManufacturer()
                                                          : first.Company + u'_' + first.Model + suffix;
    if (view == SaveView::Curves1D && plotterMode)
        name += QStringLiteral("--") + second.Company + u'_' + second.Model + curvesSuffix;
    // A model such as "2010F/HR" would otherwise name a folder that does not exist.
    name.replace(u'/', u'-');
    return name;
}

} // namespace orvalis
