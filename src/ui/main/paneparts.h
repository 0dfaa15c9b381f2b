#pragma once
// What the panes of the main window share: their title panels.

class QLabel;
class QString;

namespace orvalis {

// A pane's title: grey, centred, bold navy; shown or hidden with View > "Show Titles".
QLabel *paneTitle(const char *name, const QString &caption, int height);

} // namespace orvalis
