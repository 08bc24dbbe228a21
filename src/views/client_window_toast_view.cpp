#include "views/client_window_toast_view.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>

namespace tovalit {

ClientWindowToastView::ClientWindowToastView(const AppToastState &toast, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::toast(toast.isError), parent)
    , m_symbol(new TovalitSymbolView(QString(), 14, TovalitPalette::brandStrong(), this))
    , m_message(new TovalitTextLabel(QString(), TovalitTokens::FontStyle::bodyStrong(),
                                     TovalitPalette::toastForeground(), this)) {
    setObjectName(QStringLiteral("ClientWindowToastView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_message->setObjectName(QStringLiteral("toastMessage"));
    m_message->setMaximumLineCount(3);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(10);
    row->addWidget(m_symbol, 0, Qt::AlignVCenter);
    row->addWidget(m_message, 1, Qt::AlignVCenter);
    setToast(toast);
}

void ClientWindowToastView::setToast(const AppToastState &toast) {
    m_toast = toast;
    setLevel(TovalitGlassLevel::toast(toast.isError));
    if (toast.isError)
        m_symbol->setSymbol(QStringLiteral("exclamationmark.circle.fill"), TovalitPalette::red());
    else
        m_symbol->setSymbol(QStringLiteral("checkmark.circle.fill"), TovalitPalette::brandStrong());
    m_message->setText(toast.message);
    setAccessibleName(toast.message);
    updateGeometry();
}

int ClientWindowToastView::widthFor(int available) {
    // As wide as the column allows up to the maximum, never narrower than
    // the minimum: short messages still make a toast of some presence.
    using namespace TovalitTokens::Layout;
    return int(qBound(toastMinWidth, qreal(available), toastMaxWidth));
}

} // namespace tovalit
