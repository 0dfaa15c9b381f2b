#include "ui/info/fminfo.h"

#include "ui/widgets/dialogmessage.h"
#include "ui/widgets/dialogplacement.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace orvalis {

TfmInfo::TfmInfo(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmInfo"));
    setWindowTitle(QStringLiteral("Info"));
    openCentredOnMainWindow(this);
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    addOkCancel(this, OKBtn, CancelBtn);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *page = new QVBoxLayout(this);
    page->addWidget(Memo, 1);
    page->addLayout(buttons);
    setFixedSize(420, 400);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TfmInfo::FormActivate(const QStringList &lines)
{
    Memo->clear();
    Memo->setPlainText(lines.join(QLatin1Char('\n')));
    Memo->moveCursor(QTextCursor::Start);
    Memo->ensureCursorVisible();
    OKBtn->setFocus();
}

} // namespace orvalis
