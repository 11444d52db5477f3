#include "base/FormLayout.h"

#include <QColor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

TAnchors AnchorsFromText(const QString& text)
{
    TAnchors anchors;
    const auto names = text.split(u',', Qt::SkipEmptyParts);
    for (const QString& raw : names) {
        const QString name = raw.trimmed().toLower();
        if (name == u"left")
            anchors |= TAnchor::akLeft;
        else if (name == u"top")
            anchors |= TAnchor::akTop;
        else if (name == u"right")
            anchors |= TAnchor::akRight;
        else if (name == u"bottom")
            anchors |= TAnchor::akBottom;
    }
    if (names.isEmpty())
        anchors = TAnchor::akLeft | TAnchor::akTop;
    return anchors;
}

namespace {

// Which edges of one axis keep their distance to the parent's.
struct TAxisEdges {
    bool Near = false;
    bool Far = false;
};

// One axis of AnchoredGeometry: returns the new start and length.
std::pair<int, int> AnchorAxis(int start, int length, int grow, TAxisEdges edges)
{
    const bool nearEdge = edges.Near;
    const bool farEdge = edges.Far;
    if (nearEdge && farEdge)
        return {start, length + grow};
    if (farEdge)
        return {start + grow, length};
    if (nearEdge)
        return {start, length};
    return {start + grow / 2, length};
}

} // namespace

QRect AnchoredGeometry(const QRect& design, const QSize& designParent,
                       const QSize& parent, TAnchors anchors)
{
    const auto [x, w] = AnchorAxis(design.x(), design.width(),
                                   parent.width() - designParent.width(),
                                   {bool(anchors & TAnchor::akLeft), bool(anchors & TAnchor::akRight)});
    const auto [y, h] = AnchorAxis(design.y(), design.height(),
                                   parent.height() - designParent.height(),
                                   {bool(anchors & TAnchor::akTop), bool(anchors & TAnchor::akBottom)});
    return {x, y, std::max(0, w), std::max(0, h)};
}

int MulDivRound(int a, int numerator, int denominator)
{
    return static_cast<int>(std::lround(static_cast<double>(a) * numerator / denominator));
}

void TAnchorLayout::Capture(QWidget* form)
{
    FItems.clear();
    FDesignClient = form->size();
    const auto children = form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->isWindow())
            continue;
        FItems.append({child, child->geometry(),
                       AnchorsFromText(child->property("anchors").toString())});
    }
}

void TAnchorLayout::Apply(const QSize& clientSize) const
{
    for (const TItem& item : FItems) {
        if (item.Control)
            item.Control->setGeometry(
                AnchoredGeometry(item.Design, FDesignClient, clientSize, item.Anchors));
    }
}

QFont DesignFont(int pixelHeight, bool bold)
{
    // The condensed face is the one closest to the designed font's widths at
    // the designed line height of 13 pixels for an 11-pixel font.
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

int ScaleFormToScreen(QWidget* form, qreal logicalDpi)
{
    QFont formFont = form->font();
    formFont.setPixelSize(static_cast<int>(std::lround(formFont.pixelSize() * logicalDpi / 96.0)));
    form->setFont(formFont);

    const int measured = QFontMetrics(formFont).height();
    if (measured == DesignZeroHeight)
        return measured;

    const auto scale = [measured](int value) {
        return MulDivRound(value, measured, DesignZeroHeight);
    };
    // Positions are relative to each control's parent, so every control
    // scales on its own.
    const auto children = form->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (child->isWindow())
            continue;
        const QRect g = child->geometry();
        child->setGeometry(scale(g.x()), scale(g.y()), scale(g.width()), scale(g.height()));
        if (child->testAttribute(Qt::WA_SetFont)) {
            QFont own = child->font();
            own.setPixelSize(scale(own.pixelSize()));
            child->setFont(own);
        }
    }
    form->resize(scale(form->width()), scale(form->height()));
    return measured;
}

QPoint CentredTopLeft(const QRect& primary, const QRect& activeMonitor, const QSize& window)
{
    return QPoint((primary.width() - window.width()) / 2, (primary.height() - window.height()) / 2)
        + activeMonitor.topLeft();
}

QPoint DialogTopLeft(const QRect& monitor, const QSize& dialog)
{
    return {monitor.left() + (monitor.width() - dialog.width()) / 2,
            monitor.top() + (monitor.height() - dialog.height()) / 3};
}

QPoint KeptOnScreen(const QRect& frame, const QRect& available)
{
    const auto axis = [](int start, int length, int low, int room) {
        return std::max(low, std::min(start, low + room - length));
    };
    return {axis(frame.left(), frame.width(), available.left(), available.width()),
            axis(frame.top(), frame.height(), available.top(), available.height())};
}

namespace {

// The frame a window manager puts around a form before it has told us its
// own: the designed outer size less the designed client area.
constexpr QMargins DesignFrame(4, 23, 4, 4);

void ApplyStoredFont(QWidget* widget)
{
    const QVariant pixelSize = widget->property("fontPixelSize");
    if (pixelSize.isValid()) {
        QFont font = DesignFont(pixelSize.toInt(), widget->property("fontBold").toBool());
        const QString family = widget->property("fontFamily").toString();
        if (!family.isEmpty()) {
            // The font configuration puts its nearest face in place of a missing one.
            font.setFamilies({family});
            font.setStyleHint(QFont::AnyStyle);
        }
        font.setUnderline(widget->property("fontUnderline").toBool());
        widget->setFont(font);
    }
    const QVariant colour = widget->property("fontColor");
    if (colour.isValid()) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, colour.value<QColor>());
        palette.setColor(QPalette::ButtonText, colour.value<QColor>());
        widget->setPalette(palette);
    }
}

} // namespace

void ApplyStoredLayout(QWidget* form)
{
    // A stored layout places every control itself, so it keeps its design in
    // every language; Qt's own dialogs still follow a right-to-left one.
    form->setLayoutDirection(Qt::LeftToRight);
    ApplyStoredFont(form);
    const auto children = form->findChildren<QWidget*>();
    for (QWidget* child : children)
        ApplyStoredFont(child);

    ScaleFormToScreen(form, form->screen()->logicalDotsPerInch());

    for (QWidget* child : children) {
        if (child->property("autoSize").toBool())
            child->adjustSize();
    }

    // Controls that want to know that their layout has been read.
    for (QWidget* child : children) {
        if (child->metaObject()->indexOfMethod("Loaded()") >= 0)
            QMetaObject::invokeMethod(child, "Loaded");
    }

    const QVariant position = form->property("screenPosition");
    if (position.isValid()) {
        const QPoint designed = position.toPoint();
        QScreen* screen = QGuiApplication::screenAt(designed);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        // A window's position is its frame's.
        const QRect frame(designed, form->size().grownBy(DesignFrame));
        form->move(screen ? KeptOnScreen(frame, screen->availableGeometry()) : designed);
    }
}
