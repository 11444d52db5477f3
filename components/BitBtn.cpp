#include "components/BitBtn.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

void TBitBtn::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    QStyleOptionButton button;
    initStyleOption(&button);
    if (!(button.state & QStyle::State_HasFocus) || !(button.state & QStyle::State_KeyboardFocusChange))
        return;
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &button, this);
    focus.backgroundColor = palette().color(QPalette::Button);
    QStylePainter(this).drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}
