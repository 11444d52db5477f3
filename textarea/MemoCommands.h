#pragma once

// What the user can tell the text area to do, and the one table that says
// how: the keys of each command and whether the context menu offers it.

#include <QKeyCombination>
#include <QKeySequence>

#include <array>
#include <span>

class QKeyEvent;

enum class TCommand {
    cmUndo, cmRedo, cmCut, cmCopy, cmPaste, cmDeleteSelection, cmSelectAll,
    cmNextChar, cmPreviousChar, cmNextWord, cmPreviousWord, cmNextLine, cmPreviousLine,
    cmLineStart, cmLineEnd, cmTextStart, cmTextEnd, cmNextPage, cmPreviousPage,
    cmDeleteBack, cmDeleteForward, cmDeleteWordBack, cmDeleteWordForward, cmNewLine, cmTab
};

// A key that gives a command: one of the platform's standard keys, or a
// combination every desktop knows (Ctrl+Insert copies everywhere).
struct TCommandKey {
    QKeySequence::StandardKey Standard = QKeySequence::UnknownKey;
    QKeyCombination Combination = {};
};

struct TCommandRow {
    TCommand Command;
    bool Select;                      // a move that extends the selection
    std::array<TCommandKey, 2> Keys;
    const char* Caption;              // in the context menu (Qt's own caption), or nullptr
    const char* Name;                 // the menu item's object name
    bool SeparatorBefore;             // in the menu
};

extern const std::span<const TCommandRow> Commands;

// The first row whose key this is, or nullptr.
const TCommandRow* CommandFor(const QKeyEvent* event);

// Keys the text area keeps from the window's shortcuts with any modifier,
// beyond the table's keys and those that type text, and why.
struct TClaimedKey {
    Qt::Key Key;
    const char* Reason;
};
extern const std::span<const TClaimedKey> ClaimedKeys;

// Whether a key pressed in the text area is its own and no shortcut's: a
// key of the table, a plain key that types text, or a claimed key.
bool KeepsFromShortcuts(const QKeyEvent* event);

// In a right-to-left line Left goes on through the text and Right back, as
// in Qt's own text fields.
TCommand Mirrored(TCommand command, bool rightToLeft);

// Whether a key types its text, by the rules Qt's own text fields follow.
bool TypesText(const QKeyEvent* event);
