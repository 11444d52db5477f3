#pragma once

// The text area's key table: which standard keys move the caret and how,
// which run a command, and which keys type their text.

#include "textarea/Memo.h"

#include <QKeyEvent>
#include <QKeySequence>

enum class TMove { mvNextChar, mvPreviousChar, mvNextWord, mvPreviousWord, mvNextLine, mvPreviousLine,
                   mvLineStart, mvLineEnd, mvTextStart, mvTextEnd, mvNextPage, mvPreviousPage };

struct TMoveKey {
    QKeySequence::StandardKey Key;
    TMove Move;
    bool Select;
};

struct TActionKey {
    QKeySequence::StandardKey Key;
    void (TMemo::*Action)();
};

// In a right-to-left line Left goes on through the text and Right back, as
// in Qt's own text fields.
TMove Mirrored(TMove move, bool rightToLeft);

// The clipboard keys of other desktops work everywhere.
bool IsKey(const QKeyEvent* event, int key, Qt::KeyboardModifiers modifiers);

// Whether a key types its text, by the rules Qt's own text fields follow.
bool TypesText(const QKeyEvent* event);

extern const TMoveKey MoveKeys[28];
extern const TActionKey ActionKeys[6];
