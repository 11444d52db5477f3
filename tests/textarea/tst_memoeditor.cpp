// The editing core on its own, with no widget: rows of a text with its
// anchor and caret, the commands run, and the text, anchor and caret after.

#include "textarea/MemoEditor.h"

#include <QTest>

#include <vector>

namespace {

// One step: a command (a move that selects when Select says so), or text typed.
struct TStep {
    TStep(TCommand command, bool select = false) : Command(command), Select(select) {}
    TStep(const char* text) : Text(QString::fromUtf8(text)) {}
    TCommand Command = TCommand::cmUndo;
    bool Select = false;
    QString Text;
};
using TSteps = std::vector<TStep>;

using C = TCommand;
constexpr bool Select = true;

} // namespace

Q_DECLARE_METATYPE(TSteps)

class TestMemoEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data();
    void commands();
};

void TestMemoEditor::commands_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<TSteps>("steps");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("resultAnchor");
    QTest::addColumn<int>("resultCaret");
    const auto row = [](const char* name, const QString& text, int anchor, int caret, const TSteps& steps,
                        const QString& result, int resultAnchor, int resultCaret) {
        QTest::newRow(name) << text << anchor << caret << steps << result << resultAnchor << resultCaret;
    };

    const QString text = QStringLiteral("one two three");
    row("typing", QString(), 0, 0, {"abc"}, QStringLiteral("abc"), 3, 3);
    row("typing replaces the selection", text, 4, 7, {"2"}, QStringLiteral("one 2 three"), 5, 5);
    row("Backspace", text, 3, 3, {C::cmDeleteBack}, QStringLiteral("on two three"), 2, 2);
    row("Backspace joins lines", QStringLiteral("a\nb"), 2, 2, {C::cmDeleteBack}, QStringLiteral("ab"), 1, 1);
    row("Delete", text, 0, 0, {C::cmDeleteForward}, QStringLiteral("ne two three"), 0, 0);
    row("Delete takes a whole pair", QStringLiteral("😀x"), 0, 0, {C::cmDeleteForward}, QStringLiteral("x"), 0, 0);
    row("a new line", QStringLiteral("ab"), 1, 1, {C::cmNewLine}, QStringLiteral("a\nb"), 2, 2);
    row("a tab", QStringLiteral("ab"), 1, 1, {C::cmTab}, QStringLiteral("a\tb"), 2, 2);
    row("next ends a selection at its end", text, 1, 3, {C::cmNextChar}, text, 3, 3);
    row("previous ends a selection at its start", text, 3, 1, {C::cmPreviousChar}, text, 1, 1);
    row("selecting on", text, 0, 0, {{C::cmNextChar, Select}, {C::cmNextChar, Select}}, text, 0, 2);
    row("by word", text, 0, 0, {C::cmNextWord}, text, 4, 4);
    row("selecting a word back", text, 13, 13, {{C::cmPreviousWord, Select}}, text, 13, 8);
    row("over a line end", QStringLiteral("ab\ncd"), 2, 2, {C::cmNextChar}, QStringLiteral("ab\ncd"), 3, 3);
    row("down keeps the column", QStringLiteral("abcdef\nab\nabcdef"), 5, 5, {C::cmNextLine, C::cmNextLine},
        QStringLiteral("abcdef\nab\nabcdef"), 15, 15);
    row("up on the first line", text, 5, 5, {C::cmPreviousLine}, text, 0, 0);
    row("line start, then selecting to its end", QStringLiteral("ab\ncdef"), 5, 5,
        {C::cmLineStart, {C::cmLineEnd, Select}}, QStringLiteral("ab\ncdef"), 3, 7);
    row("text end", QStringLiteral("ab\ncd"), 1, 1, {C::cmTextEnd}, QStringLiteral("ab\ncd"), 5, 5);
    row("selecting to the text's start", QStringLiteral("ab\ncd"), 4, 4, {{C::cmTextStart, Select}},
        QStringLiteral("ab\ncd"), 4, 0);
    row("deleting a word back", text, 7, 7, {C::cmDeleteWordBack}, QStringLiteral("one  three"), 4, 4);
    row("select all, then typing", text, 2, 2, {C::cmSelectAll, "z"}, QStringLiteral("z"), 1, 1);
    row("typing undoes at once", text, 3, 3, {"xyz", C::cmUndo}, text, 3, 3);
    row("undo of typing over a selection", text, 4, 7, {"2", C::cmUndo}, text, 7, 7);
    row("a caret move ends a typing run", text, 3, 3, {"ab", C::cmPreviousChar, "c", C::cmUndo},
        QStringLiteral("oneab two three"), 4, 4);
    row("redo", text, 3, 3, {"xy", C::cmUndo, C::cmRedo}, QStringLiteral("onexy two three"), 5, 5);
    // Right-to-left lines: previous (Left) goes on through the text, next back.
    const QString arabic = QStringLiteral("عربي نص");
    row("Left in a right-to-left line", arabic, 0, 0, {C::cmPreviousChar}, arabic, 1, 1);
    row("Shift+Right in a right-to-left line", arabic, 3, 3, {{C::cmNextChar, Select}}, arabic, 3, 2);
    row("Ctrl+Left in a right-to-left line", arabic, 0, 0, {C::cmPreviousWord}, arabic, 5, 5);
    row("Left in a left-to-right line with Arabic", QStringLiteral("ab ") + arabic, 5, 5, {C::cmPreviousChar},
        QStringLiteral("ab ") + arabic, 4, 4);
    // A word far longer than the windows a long line is laid out in.
    const QString longWord = QStringLiteral("x ") + QString(5000, u'a') + QStringLiteral(" y");
    row("next word over a long word", longWord, 2, 2, {C::cmNextWord}, longWord, 5003, 5003);
    row("previous word over a long word", longWord, 5002, 5002, {C::cmPreviousWord}, longWord, 2, 2);
    row("deleting a long word", longWord, 2, 2, {C::cmDeleteWordForward}, QStringLiteral("x y"), 2, 2);
    row("select all forgets the column", QStringLiteral("abcdef\nabcdef\nabcdef"), 9, 9,
        {C::cmPreviousLine, C::cmSelectAll, {C::cmPreviousLine, Select}},
        QStringLiteral("abcdef\nabcdef\nabcdef"), 0, 13);
    row("cut and paste", text, 0, 4, {C::cmCut, C::cmTextEnd, C::cmPaste}, QStringLiteral("two threeone "), 13, 13);
}

void TestMemoEditor::commands()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(TSteps, steps);
    TMemoEditor editor;
    TTextStore store;
    store.Append(text);
    editor.Load(std::move(store));
    editor.SetSelection(anchor, caret);
    for (const TStep& step : steps) {
        if (!step.Text.isEmpty())
            editor.Insert(step.Text, TEditKind::ekTyping);
        else
            editor.Run(step.Command, step.Select);
    }
    QTEST(editor.Text().Text(), "result");
    QTEST(int(editor.Anchor()), "resultAnchor");
    QTEST(int(editor.Cursor()), "resultCaret");
}

QTEST_MAIN(TestMemoEditor)
#include "tst_memoeditor.moc"
