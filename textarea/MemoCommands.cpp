#include "textarea/MemoCommands.h"

#include <QKeyEvent>

#include <algorithm>

namespace {

using S = QKeySequence;
using C = TCommand;

constexpr TCommandKey Std(QKeySequence::StandardKey key) { return {key, {}}; }
constexpr TCommandKey Key(QKeyCombination combination) { return {QKeySequence::UnknownKey, combination}; }

// Earlier rows win: commands, then the caret's moves, then edits.
const TCommandRow Rows[] = {
    {C::cmUndo, false, {Std(S::Undo)}, "&Undo", "edit-undo", false},
    {C::cmRedo, false, {Std(S::Redo)}, "&Redo", "edit-redo", false},
    {C::cmCut, false, {Std(S::Cut), Key(Qt::SHIFT | Qt::Key_Delete)}, "Cu&t", "edit-cut", true},
    {C::cmCopy, false, {Std(S::Copy), Key(Qt::CTRL | Qt::Key_Insert)}, "&Copy", "edit-copy", false},
    {C::cmPaste, false, {Std(S::Paste), Key(Qt::SHIFT | Qt::Key_Insert)}, "&Paste", "edit-paste", false},
    {C::cmDeleteSelection, false, {}, "Delete", "edit-delete", false},
    {C::cmSelectAll, false, {Std(S::SelectAll)}, "Select All", "select-all", true},

    {C::cmNextChar, false, {Std(S::MoveToNextChar)}, nullptr, nullptr, false},
    {C::cmPreviousChar, false, {Std(S::MoveToPreviousChar)}, nullptr, nullptr, false},
    {C::cmNextWord, false, {Std(S::MoveToNextWord)}, nullptr, nullptr, false},
    {C::cmPreviousWord, false, {Std(S::MoveToPreviousWord)}, nullptr, nullptr, false},
    {C::cmNextLine, false, {Std(S::MoveToNextLine)}, nullptr, nullptr, false},
    {C::cmPreviousLine, false, {Std(S::MoveToPreviousLine)}, nullptr, nullptr, false},
    {C::cmLineStart, false, {Std(S::MoveToStartOfLine), Std(S::MoveToStartOfBlock)}, nullptr, nullptr, false},
    {C::cmLineEnd, false, {Std(S::MoveToEndOfLine), Std(S::MoveToEndOfBlock)}, nullptr, nullptr, false},
    {C::cmTextStart, false, {Std(S::MoveToStartOfDocument)}, nullptr, nullptr, false},
    {C::cmTextEnd, false, {Std(S::MoveToEndOfDocument)}, nullptr, nullptr, false},
    {C::cmNextPage, false, {Std(S::MoveToNextPage)}, nullptr, nullptr, false},
    {C::cmPreviousPage, false, {Std(S::MoveToPreviousPage)}, nullptr, nullptr, false},
    {C::cmNextChar, true, {Std(S::SelectNextChar)}, nullptr, nullptr, false},
    {C::cmPreviousChar, true, {Std(S::SelectPreviousChar)}, nullptr, nullptr, false},
    {C::cmNextWord, true, {Std(S::SelectNextWord)}, nullptr, nullptr, false},
    {C::cmPreviousWord, true, {Std(S::SelectPreviousWord)}, nullptr, nullptr, false},
    {C::cmNextLine, true, {Std(S::SelectNextLine)}, nullptr, nullptr, false},
    {C::cmPreviousLine, true, {Std(S::SelectPreviousLine)}, nullptr, nullptr, false},
    {C::cmLineStart, true, {Std(S::SelectStartOfLine), Std(S::SelectStartOfBlock)}, nullptr, nullptr, false},
    {C::cmLineEnd, true, {Std(S::SelectEndOfLine), Std(S::SelectEndOfBlock)}, nullptr, nullptr, false},
    {C::cmTextStart, true, {Std(S::SelectStartOfDocument)}, nullptr, nullptr, false},
    {C::cmTextEnd, true, {Std(S::SelectEndOfDocument)}, nullptr, nullptr, false},
    {C::cmNextPage, true, {Std(S::SelectNextPage)}, nullptr, nullptr, false},
    {C::cmPreviousPage, true, {Std(S::SelectPreviousPage)}, nullptr, nullptr, false},

    {C::cmDeleteWordBack, false, {Std(S::DeleteStartOfWord)}, nullptr, nullptr, false},
    {C::cmDeleteWordForward, false, {Std(S::DeleteEndOfWord)}, nullptr, nullptr, false},
    {C::cmDeleteBack, false, {Key(Qt::Key_Backspace), Key(Qt::SHIFT | Qt::Key_Backspace)}, nullptr, nullptr, false},
    {C::cmDeleteForward, false, {Std(S::Delete)}, nullptr, nullptr, false},
    // Enter starts a line; Tab moves the focus on, and Ctrl+Tab types a tab.
    {C::cmNewLine, false, {Std(S::InsertParagraphSeparator), Std(S::InsertLineSeparator)}, nullptr, nullptr, false},
    {C::cmTab, false, {Key(Qt::CTRL | Qt::Key_Tab)}, nullptr, nullptr, false},
};

const TClaimedKey Claimed[] = {
    {Qt::Key_Return, "a line end is what Enter means while one types; no default button or shortcut takes it"},
    {Qt::Key_Enter, "the keypad's Enter, likewise"},
    {Qt::Key_Backspace, "a deleting key, with a modifier no command gives it, deletes nothing rather than act elsewhere"},
    {Qt::Key_Delete, "likewise"},
};

bool Matches(const QKeyEvent* event, const TCommandKey& key)
{
    if (key.Standard != QKeySequence::UnknownKey)
        return event->matches(key.Standard);
    // A combination holds with the keypad's keys too.
    return key.Combination != QKeyCombination()
           && event->key() == key.Combination.key()
           && (event->modifiers() & ~Qt::KeypadModifier) == key.Combination.keyboardModifiers();
}

} // namespace

const std::span<const TCommandRow> Commands(Rows);

const std::span<const TClaimedKey> ClaimedKeys(Claimed);

bool KeepsFromShortcuts(const QKeyEvent* event)
{
    // Text typed with Alt or Meta goes to a shortcut first, if one wants it.
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    return (plain && TypesText(event)) || CommandFor(event)
           || std::any_of(ClaimedKeys.begin(), ClaimedKeys.end(),
                          [event](const TClaimedKey& claimed) { return event->key() == claimed.Key; });
}

const TCommandRow* CommandFor(const QKeyEvent* event)
{
    for (const TCommandRow& row : Commands) {
        for (const TCommandKey& key : row.Keys) {
            if (Matches(event, key))
                return &row;
        }
    }
    return nullptr;
}

TCommand Mirrored(TCommand command, bool rightToLeft)
{
    if (!rightToLeft)
        return command;
    switch (command) {
    case C::cmNextChar: return C::cmPreviousChar;
    case C::cmPreviousChar: return C::cmNextChar;
    case C::cmNextWord: return C::cmPreviousWord;
    case C::cmPreviousWord: return C::cmNextWord;
    default: return command;
    }
}

// Format characters (joiners, direction marks) always type; Ctrl and
// Ctrl+Shift keys never (they are commands, while AltGr is Ctrl+Alt); then
// printable characters, private-use ones, a whole surrogate pair (an emoji)
// and a tab.
bool TypesText(const QKeyEvent* event)
{
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    if (first.category() == QChar::Other_Format)
        return true;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    return first.isPrint() || first.category() == QChar::Other_PrivateUse
           || (first.isHighSurrogate() && text.size() > 1 && text[1].isLowSurrogate()) || first == u'\t';
}
