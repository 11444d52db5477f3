// The text area against Qt's own plain text edit: the same random keys and
// clicks on both, on texts of many scripts, with text, caret, anchor and
// clipboard compared after every event. Where the two differ by choice, the
// difference is listed in Deliberate below, counted, and Qt's side is set to
// ours before going on. KESTRUN_DIFF_EVENTS sets how many events to run.

#include "textarea/Memo.h"
#include "textarea/MemoText.h"
#include "tests/textarea/MemoReference.h"
#include "tests/textarea/WholeLine.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStyleHints>
#include <QTest>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// What the texts are made of: scripts, clusters, joiners, both directions.
const char* const Pieces[] = {
    "log", "line", "12:00", " ", " ", "\t", "é", "€", "e\u0301", "😀", "👩\u200d💻", "مرحبا", "بالعالم", "שלום",
    "עולם", "漢字", "テスト", "a_b", ",", ".", "--",
};

enum class TKind { kKey, kText, kClick, kShiftClick, kDoubleClick };

struct TEvent {
    TKind Kind = TKind::kKey;
    Qt::Key Key = Qt::Key_unknown;
    Qt::KeyboardModifiers Modifiers;
    QString Text;     // typed, for kText
    int Pos = 0;      // clicked, for the mouse kinds
    QString Name() const
    {
        switch (Kind) {
        case TKind::kText: return QStringLiteral("type ") + Text;
        case TKind::kClick: return QStringLiteral("click %1").arg(Pos);
        case TKind::kShiftClick: return QStringLiteral("shift+click %1").arg(Pos);
        case TKind::kDoubleClick: return QStringLiteral("double-click %1").arg(Pos);
        case TKind::kKey: break;
        }
        return QKeySequence(Modifiers | Key).toString();
    }
};

struct TState {
    QString Text;
    int Anchor = 0;
    int Caret = 0;
    QString Clipboard;
    bool operator==(const TState&) const = default;
};

const std::pair<Qt::Key, Qt::KeyboardModifiers> Keys[] = {
    {Qt::Key_Left, {}}, {Qt::Key_Right, {}}, {Qt::Key_Up, {}}, {Qt::Key_Down, {}}, {Qt::Key_Home, {}},
    {Qt::Key_End, {}}, {Qt::Key_Left, Qt::ControlModifier}, {Qt::Key_Right, Qt::ControlModifier},
    {Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Right, Qt::ShiftModifier}, {Qt::Key_Up, Qt::ShiftModifier},
    {Qt::Key_Down, Qt::ShiftModifier}, {Qt::Key_Home, Qt::ShiftModifier}, {Qt::Key_End, Qt::ShiftModifier},
    {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier}, {Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier},
    {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_End, Qt::ControlModifier}, {Qt::Key_Backspace, {}},
    {Qt::Key_Delete, {}}, {Qt::Key_Backspace, Qt::ControlModifier}, {Qt::Key_Delete, Qt::ControlModifier},
    {Qt::Key_Return, {}}, {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
    {Qt::Key_A, Qt::ControlModifier}, {Qt::Key_C, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier},
    {Qt::Key_V, Qt::ControlModifier},
};

// The differences by choice, each recognised by the event and where the two
// ended up. Page keys are left out of the events altogether: ours move by
// whole lines of the view, Qt's by pixels.
struct TDeliberate {
    const char* Why;
    bool (*Applies)(const TEvent& event, const TState& before, const TState& ours, const TState& qt,
                    const struct THistory& history);
};

// What came before an event, as far as the differences need it.
struct THistory {
    bool WordMode = false;       // a double click came before
    bool RtlColumn = false;      // Up and Down keep a column taken in a right-to-left line
    bool TypedNewline = false;   // a line end was typed or deleted since the histories last started
    int EditRuns = 0;            // runs of typing, or of deleting, since then
    int LastEdit = 0;            // what the last event did: 0 nothing, 1 typed, 2 deleted, 3 other edits
};

bool IsKey(const TEvent& e, Qt::Key key) { return e.Kind == TKind::kKey && e.Key == key; }
// Whether the line around pos holds right-to-left text.
bool RightToLeftIn(const QString& text, int pos)
{
    const qsizetype start = pos > 0 ? text.lastIndexOf(u'\n', pos - 1) + 1 : 0;
    qsizetype end = text.indexOf(u'\n', pos);
    if (end < 0)
        end = text.size();
    const QStringView line = QStringView(text).sliced(start, end - start);
    return std::any_of(line.begin(), line.end(), [](QChar c) {
        return c.direction() == QChar::DirR || c.direction() == QChar::DirAL;
    });
}

bool FirstLine(const TState& s) { return !s.Text.left(s.Caret).contains(u'\n'); }
bool LastLine(const TState& s) { return !s.Text.mid(s.Caret).contains(u'\n'); }

const TDeliberate Deliberate[] = {
    {"Up on the first line goes to the start of the text, Down on the last to its end",
     [](const TEvent& e, const TState& before, const TState& ours, const TState&, const THistory&) {
         return (IsKey(e, Qt::Key_Up) && FirstLine(before) && ours.Caret == 0)
                || (IsKey(e, Qt::Key_Down) && LastLine(before) && ours.Caret == ours.Text.size());
     }},
    {"a click in the first half of a joined emoji (its parts drawn apart when the font lacks the whole) puts "
     "the caret before it; Qt puts it after",
     [](const TEvent& e, const TState& before, const TState& ours, const TState& qt, const THistory&) {
         if ((e.Kind != TKind::kClick && e.Kind != TKind::kShiftClick) || ours.Caret != e.Pos)
             return false;
         QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, before.Text);
         clusters.setPosition(e.Pos);
         const qsizetype end = clusters.toNextBoundary();
         return qt.Caret == end && QStringView(before.Text).sliced(e.Pos, end - e.Pos).contains(u'\u200d');
     }},
    {"a right-to-left line starts at the left margin (Qt aligns it to the view's right edge), so Up and Down "
     "to, from or through one keep another column",
     [](const TEvent& e, const TState& before, const TState& ours, const TState& qt, const THistory& history) {
         return (IsKey(e, Qt::Key_Up) || IsKey(e, Qt::Key_Down))
                && (history.RtlColumn || RightToLeftIn(before.Text, before.Caret)
                    || RightToLeftIn(ours.Text, ours.Caret) || RightToLeftIn(qt.Text, qt.Caret));
     }},
    {"Undo takes back one run of typing or deleting, a line end typed or deleted in it included, and leaves the "
     "caret where the change was; Qt keeps line ends apart, joins edits at adjacent places even across caret "
     "moves, and puts the caret back where it stood",
     [](const TEvent& e, const TState&, const TState& ours, const TState& qt, const THistory& history) {
         return IsKey(e, Qt::Key_Z) && e.Modifiers & Qt::ControlModifier
                && (ours.Text == qt.Text || history.TypedNewline || history.EditRuns > 1);
     }},
    {"a double click selects letters, digits, marks and _ as a word, or the one other character; a Shift+click "
     "extends by characters, where Qt extends by words once there was a double click",
     [](const TEvent& e, const TState&, const TState&, const TState&, const THistory& history) {
         return e.Kind == TKind::kDoubleClick || (e.Kind == TKind::kShiftClick && history.WordMode);
     }},
};

class TDuel
{
public:
    TDuel()
    {
        // Short, so that the pause after a double click is short.
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(10);
        for (QWidget* w : {static_cast<QWidget*>(&FMemo), static_cast<QWidget*>(&FQt)}) {
            w->resize(900, 1400);
            w->show();
        }
        FQt.setLineWrapMode(QPlainTextEdit::NoWrap);
        FQt.setFont(FMemo.font());
    }

    void Load(const QByteArray& bytes)
    {
        // As a load hands it over: the bytes as read, line ends and all.
        TBlockBytes block(static_cast<char*>(std::malloc(std::max<qsizetype>(1, bytes.size()))));
        std::memcpy(block.get(), bytes.constData(), size_t(bytes.size()));
        FMemo.LoadStore(TTextStore(std::move(block), bytes.size()));
        FQt.setPlainText(FMemo.Text());
        Sync();
    }

    TState Ours() const
    {
        return {FMemo.Text(), int(FMemo.Anchor()), int(FMemo.CursorPosition()), FOurClipboard};
    }
    TState Theirs() const
    {
        const QTextCursor c = FQt.textCursor();
        return {FQt.toPlainText(), c.anchor(), c.position(), FQtClipboard};
    }

    void Run(const TEvent& event)
    {
        QGuiApplication::clipboard()->setText(FPasteText);
        Send(&FMemo, event, true);
        FOurClipboard = QGuiApplication::clipboard()->text();
        QGuiApplication::clipboard()->setText(FPasteText);
        Send(&FQt, event, false);
        FQtClipboard = QGuiApplication::clipboard()->text();
    }

    // Puts Qt's side where ours is, with both histories empty.
    void Sync()
    {
        const TState ours = Ours();
        const auto anchor = ours.Anchor;
        const auto caret = ours.Caret;
        FMemo.SetText(ours.Text);
        FMemo.SetSelection(anchor, caret);
        FQt.setPlainText(ours.Text);
        QTextCursor c(FQt.document());
        c.setPosition(anchor);
        c.setPosition(caret, QTextCursor::KeepAnchor);
        FQt.setTextCursor(c);
        FQtClipboard = FOurClipboard;
    }

    QString FPasteText = QStringLiteral("pasted");
    TMemo& Memo() { return FMemo; }
    QList<QWidget*> Widgets() { return {&FMemo, &FQt}; }

    void Select(int anchor, int caret)
    {
        FMemo.SetSelection(anchor, caret);
        QTextCursor c(FQt.document());
        c.setPosition(anchor);
        c.setPosition(caret, QTextCursor::KeepAnchor);
        FQt.setTextCursor(c);
    }

    // What an input method sends: the text it composes, with its cursor at
    // the end, and what it commits in place of a range around the caret.
    void Compose(const QString& preedit, const QString& commit = {}, int from = 0, int length = 0)
    {
        for (QWidget* w : Widgets()) {
            QInputMethodEvent event(preedit, {{QInputMethodEvent::Cursor, int(preedit.size()), 1, {}}});
            event.setCommitString(commit, from, length);
            QApplication::sendEvent(w, &event);
        }
    }

private:
    void Send(QWidget* target, const TEvent& event, bool ours)
    {
        if (event.Kind == TKind::kKey) {
            QTest::keyClick(target, event.Key, event.Modifiers);
            return;
        }
        if (event.Kind == TKind::kText) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, event.Text);
            QApplication::sendEvent(target, &press);
            return;
        }
        // The mouse: a quarter into the character at Pos from its left edge,
        // or at the caret where a line ends, wherever each widget shows it.
        QWidget* viewport = ours ? FMemo.viewport() : FQt.viewport();
        QPoint point;
        if (ours) {
            FMemo.EnsureVisible(event.Pos);
            const QRect caret = FMemo.CaretRect(event.Pos);
            const QRect glyph = FMemo.CharacterRect(event.Pos);
            point = QPoint(AtLineEnd(event.Pos) ? caret.x() : glyph.x() + glyph.width() / 4, caret.center().y());
        } else {
            QTextCursor c(FQt.document());
            c.setPosition(event.Pos);
            QScrollBar* bar = FQt.horizontalScrollBar();
            QRect caret = FQt.cursorRect(c);
            if (caret.x() < 40 || caret.x() >= viewport->width() - 40) {
                bar->setValue(bar->value() + caret.x() - viewport->width() / 2);
                caret = FQt.cursorRect(c);
            }
            point = QPoint(caret.x(), caret.center().y());
            if (!AtLineEnd(event.Pos)) {
                const QTextBlock block = FQt.document()->findBlock(event.Pos);
                const QTextLine line = block.layout()->lineAt(0);
                const int at = event.Pos - block.position();
                const qreal x0 = line.cursorToX(at);
                const qreal x1 = line.cursorToX(block.layout()->nextCursorPosition(at));
                const qreal shift = caret.x() - x0;
                point.setX(int(std::floor(std::min(x0, x1) + shift)) + int(std::ceil(std::abs(x1 - x0))) / 4);
            }
        }
        const Qt::KeyboardModifiers modifiers = event.Kind == TKind::kShiftClick ? Qt::ShiftModifier : Qt::NoModifier;
        QTest::mouseClick(viewport, Qt::LeftButton, modifiers, point);
        if (event.Kind == TKind::kDoubleClick) {
            QTest::mouseDClick(viewport, Qt::LeftButton, modifiers, point);
            // Past the time in which a third click would select the line.
            QTest::qWait(4 * QGuiApplication::styleHints()->mouseDoubleClickInterval());
        }
    }

    bool AtLineEnd(int pos) const
    {
        const QString text = FQt.toPlainText();
        return pos >= text.size() || text[pos] == u'\n';
    }

    TMemo FMemo;
    QPlainTextEdit FQt;
    QString FOurClipboard;
    QString FQtClipboard;
};

QByteArray RandomText(QRandomGenerator& random)
{
    static const char* const Ends[] = {"\n", "\r\n", "\r"};
    QByteArray text;
    const int lines = 1 + random.bounded(12);
    for (int l = 0; l < lines; ++l) {
        // One line in twenty is long: a word of several thousand letters, or many pieces.
        if (random.bounded(20) == 0) {
            text += QByteArray(500 + random.bounded(4000), 'a' + char(random.bounded(3)));
            text += ' ';
            text += QByteArray(random.bounded(2) ? "مرحبا " : "word ").repeated(200 + random.bounded(400));
        } else {
            const int pieces = random.bounded(10);
            for (int p = 0; p < pieces; ++p)
                text += Pieces[random.bounded(int(std::size(Pieces)))];
        }
        if (l + 1 < lines)
            text += Ends[random.bounded(3)];
    }
    return text;
}

TEvent RandomEvent(QRandomGenerator& random, const TState& state)
{
    TEvent event;
    const int kind = random.bounded(100);
    if (kind < 15) {
        event.Kind = TKind::kText;
        static const char* const Typed[] = {"x", "é", "😀", "\u200c", "\u200d", "\u200f", "ع", "ש", "漢", " ", "\u0301"};
        event.Text = QString::fromUtf8(Typed[random.bounded(int(std::size(Typed)))]);
    } else if (kind < 25) {
        event.Kind = kind < 20 ? TKind::kClick : kind < 23 ? TKind::kShiftClick : TKind::kDoubleClick;
        // A place between characters, never inside a pair.
        int pos = random.bounded(state.Text.size() + 1);
        // At the start of a cluster that has width: not inside a pair or a
        // joined emoji, and not on a joiner or mark, whose place is also its
        // neighbour's.
        QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, state.Text);
        const auto widthless = [&](int at) {
            const QChar c = state.Text[at];
            return c.category() == QChar::Other_Format || c.isMark();
        };
        while (pos > 0 && pos < state.Text.size()) {
            clusters.setPosition(pos);
            if (clusters.isAtBoundary() && !widthless(pos))
                break;
            --pos;
        }
        // The end of a line with right-to-left text in it shares its place
        // with another position; click into the line's first character then.
        // In a line with right-to-left text one place on screen can belong to
        // two positions, and the two widgets round it differently; clicks
        // there are checked against a whole-line layout in tst_memo_scripts.
        if (RightToLeftIn(state.Text, pos)) {
            event.Kind = TKind::kKey;
            event.Key = Qt::Key_End;
            return event;
        }
        event.Pos = pos;
    } else {
        const auto& key = Keys[random.bounded(int(std::size(Keys)))];
        event.Key = key.first;
        event.Modifiers = key.second;
    }
    return event;
}

// Where the text area puts the caret at the cluster boundaries of a line,
// in pixels from the line's left end: every one of the first 4,500 units
// (the keys below cross windows there), then every eleventh. A gap or an
// overlap anywhere shows in every place after it.
std::map<int, int> CaretPlaces(TMemo& memo, std::int64_t lineStart, const QString& line)
{
    const auto whole = MemoReference::WholeLine(line, memo.font());
    QScrollBar* bar = memo.horizontalScrollBar();
    std::map<int, int> places;
    for (int pos = 0, n = 0;; pos = whole->nextCursorPosition(pos), ++n) {
        if (pos < 4500 || n % 11 == 0 || pos >= line.size()) {
            memo.EnsureVisible(lineStart + pos);
            places[pos] = memo.CaretRect(lineStart + pos).x() + bar->value();
        }
        if (pos >= line.size())
            return places;
    }
}

// The caret places of a line against a layout of the whole line; empty when
// all agree. Qt shapes a run of one script in items of at most 4,096 units,
// so kerning and joined emoji part at those places in its own layout:
// places are compared within such pieces, from a little past the start of each.
QString AgainstWholeLine(const std::map<int, int>& places, const QString& line, const QFont& font)
{
    const auto whole = MemoReference::WholeLine(line, font);
    const QTextLine reference = whole->lineAt(0);
    qreal shift = 0;
    int nextPiece = 0;
    for (auto at = places.begin(); at != places.end(); ++at) {
        if (at->first >= nextPiece * 4096) {
            while (at->first > 0 && at->first % 4096 < 32 && std::next(at) != places.end())
                ++at;
            nextPiece = at->first / 4096 + 1;
            shift = at->second - reference.cursorToX(at->first);
        }
        // Two caret places rounded to pixels, and the shift between them.
        if (std::abs(at->second - shift - reference.cursorToX(at->first)) > 1.5)
            return QStringLiteral("position %1 of %2: x %3, in the whole line %4")
                .arg(at->first).arg(line.size()).arg(at->second - shift, 0, 'f', 1)
                .arg(reference.cursorToX(at->first), 0, 'f', 1);
    }
    return {};
}

} // namespace

class TestMemoVsQt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameAsQt();
    void longLines_data();
    void longLines();
    void inputMethod();
};

void TestMemoVsQt::sameAsQt()
{
    const int total = qEnvironmentVariableIntValue("KESTRUN_DIFF_EVENTS") > 0
        ? qEnvironmentVariableIntValue("KESTRUN_DIFF_EVENTS") : 4000;
    const quint32 seed = qEnvironmentVariableIsSet("KESTRUN_DIFF_SEED")
        ? quint32(qEnvironmentVariableIntValue("KESTRUN_DIFF_SEED")) : 20261209u;
    QRandomGenerator random(seed);
    TDuel duel;
    std::map<const char*, int> deliberate;
    int events = 0;
    while (events < total) {
        const QByteArray text = RandomText(random);
        duel.Load(text);
        QCOMPARE(duel.Theirs(), duel.Ours());
        QStringList done;
        THistory history;
        for (int i = 0; i < 60 && events < total; ++i, ++events) {
            const TState before = duel.Ours();
            const TEvent event = RandomEvent(random, before);
            done << event.Name();
            duel.Run(event);
            const THistory before_ = history;
            history.WordMode = history.WordMode || event.Kind == TKind::kDoubleClick;
            history.TypedNewline = history.TypedNewline || IsKey(event, Qt::Key_Return)
                                   || duel.Ours().Text.count(u'\n') < before.Text.count(u'\n');
            const bool vertical = IsKey(event, Qt::Key_Up) || IsKey(event, Qt::Key_Down);
            history.RtlColumn = vertical && (history.RtlColumn || RightToLeftIn(before.Text, before.Caret)
                                             || RightToLeftIn(duel.Ours().Text, duel.Ours().Caret));
            const int edit = event.Kind == TKind::kText || IsKey(event, Qt::Key_Return) ? 1
                : IsKey(event, Qt::Key_Backspace) || IsKey(event, Qt::Key_Delete) ? 2
                : (IsKey(event, Qt::Key_V) || IsKey(event, Qt::Key_X)) && event.Modifiers == Qt::ControlModifier ? 3
                : 0;
            history.EditRuns += edit != 0 && (edit != history.LastEdit || edit == 3);
            history.LastEdit = edit;
            const TState ours = duel.Ours();
            const TState theirs = duel.Theirs();
            if (qEnvironmentVariableIsSet("KESTRUN_DIFF_TRACE"))
                qInfo("%s: ours %d/%d Qt %d/%d", qPrintable(event.Name()), ours.Anchor, ours.Caret, theirs.Anchor,
                      theirs.Caret);
            if (ours == theirs)
                continue;
            const auto known = std::find_if(std::begin(Deliberate), std::end(Deliberate), [&](const TDeliberate& d) {
                return d.Applies(event, before, ours, theirs, before_);
            });
            if (known == std::end(Deliberate)) {
                if (const QString dump = qEnvironmentVariable("KESTRUN_DIFF_DUMP"); !dump.isEmpty()) {
                    QFile file(dump);
                    if (file.open(QIODevice::WriteOnly))
                        file.write(before.Text.toUtf8());
                }
                // The texts from a little before where they part.
                qsizetype from = 0;
                while (from < ours.Text.size() && from < theirs.Text.size() && ours.Text[from] == theirs.Text[from])
                    ++from;
                from = std::max<qsizetype>(0, from - 20);
                const auto show = [from](const TState& s) {
                    return QStringLiteral("caret %1 anchor %2 clipboard %3 length %4 from %5: %6")
                        .arg(s.Caret).arg(s.Anchor).arg(s.Clipboard.left(40)).arg(s.Text.size()).arg(from)
                        .arg(s.Text.mid(from, 120));
                };
                QFAIL(qPrintable(QStringLiteral("seed %1, after %2\nbefore: %3\nours:   %4\nQt:     %5")
                                     .arg(seed).arg(done.join(u", "), show(before), show(ours), show(theirs))));
            }
            ++deliberate[known->Why];
            duel.Sync();
            history = THistory{history.WordMode};
        }
    }
    qInfo("%d events; deliberate differences:", events);
    for (const auto& [why, count] : deliberate)
        qInfo("  %5d  %s", count, why);
}

void TestMemoVsQt::longLines_data()
{
    QTest::addColumn<QString>("line");
    const auto repeated = [](const char* piece, int units) {
        const QString text = QString::fromUtf8(piece);
        return text.repeated(units / text.size());
    };
    // Each past the length laid out whole, as many windows long as it takes.
    constexpr int Units = 34000;
    QTest::newRow("Arabic") << repeated("مرحبا بالعالم ", Units);
    QTest::newRow("Latin words") << repeated("AVATAR Ty To Wa lorem ipsum ", Units);
    QTest::newRow("an Arabic phrase in a Latin line") << repeated("log entry 12:00 ok مرحبا بالعالم done ", Units);
    QTest::newRow("Latin words in an Arabic line") << repeated("مرحبا hello world بالعالم 42 ", Units);
    QTest::newRow("Hebrew and CJK") << repeated("שלום עולם 漢字テスト ", Units);
    QTest::newRow("emoji with skin tones") << QString::fromUtf8("😀") + repeated("👍🏽", Units);
    QTest::newRow("joined emoji") << QStringLiteral("abc") + repeated("👩\u200d💻", Units);
    QTest::newRow("flags") << repeated("🇩🇪🇫🇷🇯🇵", Units);
    QTest::newRow("first strong character far in") << repeated("😀", Units) + QString::fromUtf8(" مرحبا");
    QTest::newRow("one long word") << QStringLiteral("x") + repeated("AVTo", Units);
}

// Lines past the length laid out whole: every position where a layout of
// the whole line puts it, and the same keys on both widgets stop at the
// same places, across the places where windows meet, before and after
// edits and their undo.
void TestMemoVsQt::longLines()
{
    QFETCH(QString, line);
    TDuel duel;
    duel.Load((QStringLiteral("above\n") + line + QStringLiteral("\nbelow")).toUtf8());
    const std::int64_t start = 6;
    const auto run = [&](Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
        TEvent event;
        event.Kind = text.isEmpty() ? TKind::kKey : TKind::kText;
        event.Key = key;
        event.Modifiers = modifiers;
        event.Text = text;
        duel.Run(event);
        return event.Name();
    };
    const auto same = [&](const QString& what) {
        const TState ours = duel.Ours();
        const TState theirs = duel.Theirs();
        QVERIFY2(ours == theirs, qPrintable(QStringLiteral("%1: ours %2/%3 length %4, Qt %5/%6 length %7")
                                                .arg(what).arg(ours.Anchor).arg(ours.Caret).arg(ours.Text.size())
                                                .arg(theirs.Anchor).arg(theirs.Caret).arg(theirs.Text.size())));
    };
    const auto placesOf = [&](TMemo& memo) { return CaretPlaces(memo, start, memo.Text().split(u'\n')[1]); };
    QCOMPARE(AgainstWholeLine(placesOf(duel.Memo()), line, duel.Memo().font()), QString());
    // Along the first windows by clusters, both ways, and by words.
    const bool rightToLeft = line.isRightToLeft();
    const Qt::Key forward = rightToLeft ? Qt::Key_Left : Qt::Key_Right;
    const Qt::Key backward = rightToLeft ? Qt::Key_Right : Qt::Key_Left;
    run(Qt::Key_Down, {});
    run(Qt::Key_Home, {});
    same(QStringLiteral("Home"));
    for (int i = 0; i < 1500 && duel.Ours().Caret < start + 4500; ++i) {
        same(run(forward, {}) + QString::number(i));
        if (QTest::currentTestFailed())
            return;
    }
    for (int i = 0; i < 300 && !QTest::currentTestFailed(); ++i)
        same(run(backward, {}));
    for (int i = 0; i < 20 && !QTest::currentTestFailed(); ++i)
        same(run(forward, Qt::ControlModifier));
    // Edits where the caret now is and further in, and their undo.
    for (const Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace})
        same(run(key, {}));
    same(run(Qt::Key_unknown, {}, QStringLiteral("x")));
    same(run(Qt::Key_unknown, {}, QString::fromUtf8("👍🏽")));
    // The edited line as a fresh text area lays it out.
    TDuel fresh;
    fresh.Load(duel.Ours().Text.toUtf8());
    QVERIFY(placesOf(duel.Memo()) == placesOf(fresh.Memo()));
    for (int i = 0; i < 4; ++i)
        run(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(duel.Ours().Text.mid(start, line.size()), line);
    QCOMPARE(AgainstWholeLine(placesOf(duel.Memo()), line, duel.Memo().font()), QString());
    duel.Sync();
    for (int i = 0; i < 300 && !QTest::currentTestFailed(); ++i)
        same(run(backward, {}));
}

// An input method's events on both: composing over a selection, commits
// with replacement ranges, a click and Escape while composing, in a short
// line and in a long one; the text, the caret and the caret's place in
// view (where the candidate window opens) agree.
void TestMemoVsQt::inputMethod()
{
    TDuel duel;
    const QString longLine = QString::fromUtf8("مرحبا hello ").repeated(3500);
    for (const QString& line : {QStringLiteral("ab cd ef"), longLine}) {
        duel.Load((QStringLiteral("first\n") + line).toUtf8());
        const auto check = [&](const char* what) {
            QVERIFY2(duel.Ours() == duel.Theirs(), what);
            QList<QRect> carets;
            for (QWidget* w : duel.Widgets()) {
                carets << w->inputMethodQuery(Qt::ImCursorRectangle).toRect();
                QVERIFY2(w->rect().contains(carets.back().center()), what);
            }
            // In the short line, which both start at the left margin, in the same place.
            if (line.size() < 100)
                QVERIFY2(std::abs(carets[0].x() - carets[1].x()) <= 2, what);
        };
        // Composing over a selection takes its place; Escape leaves it gone.
        duel.Select(8, 12);
        duel.Compose(QStringLiteral("ni"));
        check("composing over a selection");
        duel.Compose({});
        check("Escape");
        // A commit that replaces what is before the caret, then one at the caret.
        duel.Compose(QString::fromUtf8("你"));
        duel.Compose({}, QString::fromUtf8("你好"), -2, 2);
        check("a commit over the two units before the caret");
        duel.Compose(QStringLiteral("hao"));
        duel.Compose({}, QString::fromUtf8("好"));
        check("a commit");
        // A click while composing: the composition goes (no input method
        // here to commit it), then the caret moves.
        duel.Compose(QStringLiteral("zai"));
        duel.Run({TKind::kClick, Qt::Key_unknown, {}, {}, 2});
        check("a click while composing");
        // Composing at the far end of a long line brings it into view.
        const int end = int(duel.Ours().Text.size());
        duel.Select(end, end);
        duel.Compose(QString::fromUtf8("長い変換中の文字列").repeated(4));
        check("composing at the line's end");
        duel.Compose({});
    }
}

QTEST_MAIN(TestMemoVsQt)
#include "tst_memo_vs_qt.moc"
