// The flat tool button's published properties: each setter stores its value
// and repaints, or lays the button out again, only when the value changed.

#include "components/FlatCtls.h"

#include "components/FlatDropdown.h"

namespace {

// Stores the value; true when it differed from what the field held.
template <typename T, typename V>
bool Assign(T& field, const V& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

void TFlatButton::UpdateOpaqueStyle()
{
    setAttribute(Qt::WA_OpaquePaintEvent, FOpaque || !FFlat);
}

void TFlatButton::UpdateHasDropdown()
{
    if (Assign(FHasDropdown, FDropdownAlways || FDropdownMenu) && (FDropdownArrow || FDropdownCombo))
        RefreshButton();
}

void TFlatButton::SetAlignment(int value)
{
    if (value >= taLeftJustify && value <= taCenter && Assign(FAlignment, TAlignment(value)))
        RefreshButton();
}

void TFlatButton::SetAllowAllUp(bool value)
{
    if (Assign(FAllowAllUp, value))
        ReleaseGroupSiblings();
}

void TFlatButton::SetCaption(const QString& caption)
{
    if (Assign(FCaption, caption))
        RefreshButton();
}

void TFlatButton::SetGroupIndex(int value)
{
    if (Assign(FGroupIndex, value))
        ReleaseGroupSiblings();
}

void TFlatButton::SetDisplayMode(TButtonDisplayMode value)
{
    if (Assign(FDisplayMode, value))
        RefreshButton();
}

void TFlatButton::SetDropdownAlways(bool value)
{
    if (Assign(FDropdownAlways, value))
        UpdateHasDropdown();
}

void TFlatButton::SetDropdownMenu(TPopupMenu* menu)
{
    if (menu == FDropdownMenu)
        return;
    QObject::disconnect(FDropdownMenuGone);
    FDropdownMenu = menu;
    // A menu destroyed elsewhere is taken off through this setter.
    if (menu)
        FDropdownMenuGone = connect(menu, &QObject::destroyed, this, [this] { SetDropdownMenu(nullptr); });
    UpdateHasDropdown();
}

void TFlatButton::SetDropdownArrow(bool value)
{
    if (Assign(FDropdownArrow, value))
        RefreshButton();
}

void TFlatButton::SetDropdownCombo(bool value)
{
    if (!Assign(FDropdownCombo, value))
        return;
    resize(value ? width() + ComboPartWidth : std::max(1, width() - ComboPartWidth), height());
    RefreshButton();
}

void TFlatButton::SetFlat(bool value)
{
    if (!Assign(FFlat, value))
        return;
    UpdateOpaqueStyle();
    RefreshButton();
}

void TFlatButton::SetGlyph(const QImage& glyph)
{
    FGlyph.SetGlyph(glyph);
    RefreshButton();
}

void TFlatButton::SetGlyphMask(const QImage& mask)
{
    FGlyph.SetGlyphMask(mask);
    RefreshButton();
}

void TFlatButton::SetImages(TMaskedImageList* images)
{
    if (images == FGlyph.Images())
        return;
    FGlyph.SetImages(images);
    RefreshButton();
}

void TFlatButton::SetLayout(int value)
{
    if (value >= blGlyphLeft && value <= blGlyphBottom && Assign(FLayout, value))
        RefreshButton();
}

void TFlatButton::SetMargin(int value)
{
    // Values below -1 are ignored.
    if (value >= -1 && Assign(FMargin, value))
        RefreshButton();
}

void TFlatButton::SetNoBorder(bool value)
{
    if (Assign(FNoBorder, value))
        update();
}

void TFlatButton::SetNumGlyphs(int value)
{
    value = std::clamp(value, 1, 5);
    if (value == FGlyph.NumGlyphs())
        return;
    FGlyph.SetNumGlyphs(value);
    RefreshButton();
}

void TFlatButton::SetOldDisabledStyle(bool value)
{
    if (value == FGlyph.OldDisabledStyle())
        return;
    FGlyph.SetOldDisabledStyle(value);
    RefreshButton();
}

void TFlatButton::SetOpaque(bool value)
{
    if (!Assign(FOpaque, value))
        return;
    UpdateOpaqueStyle();
    update();
}

void TFlatButton::SetSpacing(int value)
{
    if (Assign(FSpacing, value))
        RefreshButton();
}

void TFlatButton::SetWordWrap(bool value)
{
    if (Assign(FWordWrap, value))
        RefreshButton();
}
