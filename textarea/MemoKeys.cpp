#include "textarea/MemoKeys.h"

// In a right-to-left line Left goes on through the text and Right back, as
// in Qt's own text fields.
TMove Mirrored(TMove move, bool rightToLeft)
{
    if (!rightToLeft)
        return move;
    switch (move) {
    case TMove::mvNextChar: return TMove::mvPreviousChar;
    case TMove::mvPreviousChar: return TMove::mvNextChar;
    case TMove::mvNextWord: return TMove::mvPreviousWord;
    case TMove::mvPreviousWord: return TMove::mvNextWord;
    default: return move;
    }
}

const TMoveKey MoveKeys[28] = {
    {QKeySequence::MoveToNextChar, TMove::mvNextChar, false},
    {QKeySequence::MoveToPreviousChar, TMove::mvPreviousChar, false},
    {QKeySequence::MoveToNextWord, TMove::mvNextWord, false},
    {QKeySequence::MoveToPreviousWord, TMove::mvPreviousWord, false},
    {QKeySequence::MoveToNextLine, TMove::mvNextLine, false},
    {QKeySequence::MoveToPreviousLine, TMove::mvPreviousLine, false},
    {QKeySequence::MoveToStartOfLine, TMove::mvLineStart, false},
    {QKeySequence::MoveToEndOfLine, TMove::mvLineEnd, false},
    {QKeySequence::MoveToStartOfBlock, TMove::mvLineStart, false},
    {QKeySequence::MoveToEndOfBlock, TMove::mvLineEnd, false},
    {QKeySequence::MoveToStartOfDocument, TMove::mvTextStart, false},
    {QKeySequence::MoveToEndOfDocument, TMove::mvTextEnd, false},
    {QKeySequence::MoveToNextPage, TMove::mvNextPage, false},
    {QKeySequence::MoveToPreviousPage, TMove::mvPreviousPage, false},
    {QKeySequence::SelectNextChar, TMove::mvNextChar, true},
    {QKeySequence::SelectPreviousChar, TMove::mvPreviousChar, true},
    {QKeySequence::SelectNextWord, TMove::mvNextWord, true},
    {QKeySequence::SelectPreviousWord, TMove::mvPreviousWord, true},
    {QKeySequence::SelectNextLine, TMove::mvNextLine, true},
    {QKeySequence::SelectPreviousLine, TMove::mvPreviousLine, true},
    {QKeySequence::SelectStartOfLine, TMove::mvLineStart, true},
    {QKeySequence::SelectEndOfLine, TMove::mvLineEnd, true},
    {QKeySequence::SelectStartOfBlock, TMove::mvLineStart, true},
    {QKeySequence::SelectEndOfBlock, TMove::mvLineEnd, true},
    {QKeySequence::SelectStartOfDocument, TMove::mvTextStart, true},
    {QKeySequence::SelectEndOfDocument, TMove::mvTextEnd, true},
    {QKeySequence::SelectNextPage, TMove::mvNextPage, true},
    {QKeySequence::SelectPreviousPage, TMove::mvPreviousPage, true},
};


const TActionKey ActionKeys[6] = {
    {QKeySequence::Undo, &TMemo::Undo},         {QKeySequence::Redo, &TMemo::Redo},
    {QKeySequence::Cut, &TMemo::Cut},           {QKeySequence::Copy, &TMemo::Copy},
    {QKeySequence::Paste, &TMemo::Paste},       {QKeySequence::SelectAll, &TMemo::SelectAll},
};

// The clipboard keys of other desktops work everywhere.
bool IsKey(const QKeyEvent* event, int key, Qt::KeyboardModifiers modifiers)
{
    return event->key() == key && (event->modifiers() & ~Qt::KeypadModifier) == modifiers;
}

// Whether a key types its text, by the rules Qt's own text fields follow:
// format characters (joiners, direction marks) always; Ctrl and Ctrl+Shift
// keys never (they are commands, while AltGr is Ctrl+Alt); then printable
// characters, private-use ones, a whole surrogate pair (an emoji) and a tab.
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
