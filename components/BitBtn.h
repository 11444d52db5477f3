#pragma once

#include <QPushButton>

// A push button that may carry a glyph beside its caption. Its keyboard
// focus always shows: a default button in some styles (Fusion among them)
// already wears the look a focused one gets, so the style's focus frame is
// drawn over it while the focus is there and the user moves it by keyboard.
class TBitBtn final : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
