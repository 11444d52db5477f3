#include "textarea/Memo.h"

#include "base/Failure.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>

#include <cmath>
#include <limits>
#include <new>

namespace {

constexpr int Margin = 4;                      // around the text, as a plain text edit has
constexpr qreal TabStop = 80;                  // pixels between tab stops
// Lines up to LongLine units are laid out whole, exactly as Qt lays out a
// paragraph; longer ones a fixed window of WindowChunks marks at a time.
constexpr std::int64_t LongLine = 32768;
constexpr std::int64_t Chunk = 1024;           // units between the marks of a long line
constexpr qsizetype WindowChunks = 4;
constexpr std::int64_t CachedUnits = 4'000'000; // laid-out text kept before the cache starts afresh
constexpr std::int64_t NoticeLimit = 65536;    // most text carried by one change notice
constexpr std::int64_t PrimaryLimit = 16'000'000; // most text a mouse selection offers to other programs

int ClampToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

bool IsWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

} // namespace

// A laid-out line, or one window of a long line. Its text starts at the left
// margin whatever its direction; a right-to-left line reads from its right end.
struct TMemo::TLineLayout {
    std::int64_t Start = 0;    // position of the window's first character
    std::int64_t End = 0;      // position after its last
    std::int64_t LineStart = 0;
    std::int64_t LineEnd = 0;
    qsizetype Window = 0;      // which window of a long line
    qreal X0 = 0;              // x of the window's left edge in the line
    qreal Width = 0;           // of the whole line
    bool RightToLeft = false;  // the line's direction
    QTextLayout Layout;

    QTextLine Line() const { return Layout.lineAt(0); }
    qreal XOf(std::int64_t pos) const { return X0 + Line().cursorToX(int(pos - Start)); }
};

// Where every Chunk units of a long line begin (counted from the line's
// start), and how far from the line's start (its left end, or its right end
// for a right-to-left line) each begins.
struct TMemo::TLongLine {
    std::vector<std::int64_t> Offset;
    std::vector<qreal> X;
    qreal Width = 0;
    bool HasTabs = false;
    bool RightToLeft = false;

    qsizetype Windows() const { return (qsizetype(Offset.size()) + WindowChunks - 1) / WindowChunks; }
    qsizetype ChunkAt(std::int64_t offset) const
    {
        return std::max<qsizetype>(0, std::upper_bound(Offset.begin(), Offset.end(), offset) - Offset.begin() - 1);
    }
    // The window under x, measured from the line's left end.
    qsizetype WindowAtX(qreal x) const
    {
        const qreal fromStart = RightToLeft ? Width - x : x;
        const auto chunk = std::upper_bound(X.begin(), X.end(), fromStart) - X.begin() - 1;
        return std::clamp<qsizetype>(chunk / WindowChunks, 0, Windows() - 1);
    }
    qreal ChunkX(qsizetype chunk) const { return chunk < qsizetype(X.size()) ? X[chunk] : Width; }
};

// ---------------------------------------------------------------------------
// How a screen reader sees the text area: an editable multi-line text whose
// parts are decoded only as they are asked for.

namespace {

class TMemoAccessible final : public QAccessibleWidget,
                              public QAccessibleTextInterface,
                              public QAccessibleEditableTextInterface
{
public:
    explicit TMemoAccessible(TMemo* memo) : QAccessibleWidget(memo, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = true;
        state.multiLine = true;
        state.selectableText = true;
        state.focusable = true;
        return state;
    }

    QString text(QAccessible::Text t) const override
    {
        // The value would be the whole text; readers take it through the text interface.
        return t == QAccessible::Value ? QString() : QAccessibleWidget::text(t);
    }

    // Text interface. Offsets count from the stretch of text a screen reader
    // is offered (all of it, unless it is longer than an int can count).
    void selection(int index, int* start, int* end) const override
    {
        *start = *end = 0;
        if (index == 0 && Memo()->HasSelection()) {
            *start = Offset(Memo()->SelectionStart());
            *end = Offset(Memo()->SelectionEnd());
        }
    }
    int selectionCount() const override { return Memo()->HasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { Memo()->SetSelection(Pos(start), Pos(end)); }
    void removeSelection(int index) override
    {
        if (index == 0)
            Memo()->SetSelection(Memo()->CursorPosition(), Memo()->CursorPosition());
    }
    void setSelection(int index, int start, int end) override
    {
        if (index == 0)
            Memo()->SetSelection(Pos(start), Pos(end));
    }
    int cursorPosition() const override { return Offset(Memo()->CursorPosition()); }
    void setCursorPosition(int position) override { Memo()->SetSelection(Pos(position), Pos(position)); }
    QString text(int start, int end) const override { return Memo()->Model().Text(Pos(start), Pos(end)); }
    int characterCount() const override { return Offset(End()); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override
    {
        return Part(Around(Pos(offset), boundary), start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override
    {
        const auto at = Around(Pos(offset), boundary);
        if (at.first <= Origin() || boundary == QAccessible::NoBoundary)
            return Part({Origin(), Origin()}, start, end);
        return Part(Around(at.first - 1, boundary), start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override
    {
        const auto at = Around(Pos(offset), boundary);
        if (at.second >= End() || boundary == QAccessible::NoBoundary)
            return Part({End(), End()}, start, end);
        return Part(Around(at.second, boundary), start, end);
    }

    QRect characterRect(int offset) const override
    {
        const QRect rect = Memo()->CharacterRect(Pos(offset));
        return QRect(Memo()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = Memo()->viewport()->mapFromGlobal(point);
        if (!Memo()->viewport()->rect().contains(local))
            return -1;
        return Offset(Memo()->PositionAt(local));
    }
    void scrollToSubstring(int start, int end) override
    {
        Memo()->EnsureVisible(Pos(end));
        Memo()->EnsureVisible(Pos(start));
    }
    QString attributes(int offset, int* start, int* end) const override
    {
        // One plain run: no attributes anywhere.
        Q_UNUSED(offset);
        *start = 0;
        *end = characterCount();
        return {};
    }

    // Editable text interface.
    void deleteText(int start, int end) override { Memo()->ReplaceRange(Pos(start), Pos(end), {}); }
    void insertText(int offset, const QString& text) override { Memo()->ReplaceRange(Pos(offset), Pos(offset), text); }
    void replaceText(int start, int end, const QString& text) override
    {
        Memo()->ReplaceRange(Pos(start), Pos(end), text);
    }

private:
    TMemo* Memo() const { return static_cast<TMemo*>(widget()); }

    std::int64_t Origin() const { return Memo()->AccessibleOrigin(); }
    std::int64_t End() const
    {
        return std::min(Memo()->Model().Length(), Origin() + std::numeric_limits<int>::max());
    }
    std::int64_t Pos(int offset) const { return std::clamp<std::int64_t>(Origin() + offset, Origin(), End()); }
    int Offset(std::int64_t pos) const { return ClampToInt(pos - Origin()); }

    std::pair<std::int64_t, std::int64_t> Around(std::int64_t at, QAccessible::TextBoundaryType boundary) const
    {
        const TMemoText& text = Memo()->Model();
        const std::int64_t length = text.Length();
        at = std::clamp<std::int64_t>(at, 0, length);
        switch (boundary) {
        case QAccessible::CharBoundary: {
            if (at >= length)
                return {length, length};
            const std::int64_t start = text.Snap(at);
            const QString two = text.Text(start, start + 2);
            return {start, start + (two.size() == 2 && two[0].isHighSurrogate() ? 2 : 1)};
        }
        case QAccessible::WordBoundary:
            return Memo()->WordAt(at);
        case QAccessible::NoBoundary:
            return {Origin(), End()};
        default: {
            // Sentences, paragraphs and lines are all the line, with its line end.
            const std::int64_t line = text.LineOf(at);
            const std::int64_t end = line + 1 < text.LineCount() ? text.LineStart(line + 1) : length;
            return {text.LineStart(line), end};
        }
        }
    }

    // A range as offsets and its text, both within the stretch offered.
    QString Part(std::pair<std::int64_t, std::int64_t> range, int* start, int* end) const
    {
        const std::int64_t from = std::clamp(range.first, Origin(), End());
        const std::int64_t to = std::clamp(range.second, from, End());
        *start = Offset(from);
        *end = Offset(to);
        return Memo()->Model().Text(from, to);
    }
};

QAccessibleInterface* MemoAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1StringView("TMemo") && object && object->isWidgetType())
        return new TMemoAccessible(static_cast<TMemo*>(object));
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------

TMemo::TMemo(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(MemoAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_KeyCompression);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LoadStore(TTextStore());
}

TMemo::~TMemo() = default;

// --- Text -----------------------------------------------------------------

void TMemo::LoadStore(TTextStore store)
{
    // Screen readers hear of the change with at most NoticeLimit characters of text.
    const QString removedText = QAccessible::isActive() ? FText.Text(0, NoticeLimit) : QString();
    FText.Load(std::move(store));
    FCursor = FAnchor = 0;
    FColumnX = -1;
    ForgetLayouts();
    ResetWidth();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    if (!removedText.isEmpty()) {
        QAccessibleTextRemoveEvent removed(this, 0, removedText);
        QAccessible::updateAccessibility(&removed);
    }
    if (QAccessible::isActive() && FText.Length() > 0) {
        QAccessibleTextInsertEvent inserted(this, 0, FText.Text(0, NoticeLimit));
        QAccessible::updateAccessibility(&inserted);
    }
    CaretChanged(true);
}

std::int64_t TMemo::AccessibleOrigin() const
{
    // Screen readers count in int. Past that many units they are offered a
    // stretch of that length around the caret, which moves on half a billion
    // units at a time, so that offsets stay put while the caret moves about.
    constexpr std::int64_t Limit = std::numeric_limits<int>::max();
    constexpr std::int64_t Step = std::int64_t(1) << 30;
    const std::int64_t length = FText.Length();
    if (length <= Limit)
        return 0;
    const std::int64_t origin = std::clamp<std::int64_t>(FCursor / Step * Step - Step / 2, 0, length - Limit);
    // Never inside a surrogate pair; past it, so that the text's end stays in reach.
    return FText.Snap(origin) < origin ? origin + 1 : origin;
}

void TMemo::SetText(const QString& text)
{
    TTextStore store;
    store.Append(text);
    LoadStore(std::move(store));
}

QString TMemo::SelectedText() const
{
    try {
        return FText.Text(SelectionStart(), SelectionEnd());
    } catch (const std::bad_alloc&) {
        throw TFailure(QStringLiteral("Not enough memory to copy the selection"));
    }
}

void TMemo::ReplaceRange(std::int64_t from, std::int64_t to, const QString& text, TEditKind kind)
{
    from = FText.Snap(from);
    to = FText.Snap(to);
    if (from > to)
        std::swap(from, to);
    Edit({from, to - from, 0}, [&] { return TEditChange{from, to - from, FText.Replace(from, to, text, kind)}; });
}

void TMemo::Edit(const TEditChange& coming, const std::function<TEditChange()>& apply)
{
    const QString removedText = QAccessible::isActive()
        ? FText.Text(coming.Pos, coming.Pos + std::min(coming.Removed, NoticeLimit)) : QString();
    const std::int64_t line = FText.LineOf(coming.Pos);
    const bool withinLine = FText.LineOf(coming.Pos + coming.Removed) == line;
    const TEditChange change = apply();
    FCursor = FAnchor = change.Pos + change.Inserted;
    FColumnX = -1;
    PatchLongLines(line, withinLine && FText.LineOf(change.Pos + change.Inserted) == line, change.Pos,
                   change.Removed, change.Inserted);
    Changed(change.Pos, change.Removed, removedText, change.Inserted);
}

void TMemo::InsertText(const QString& text, TEditKind kind)
{
    ReplaceRange(SelectionStart(), SelectionEnd(), text, kind);
}

void TMemo::Changed(std::int64_t pos, std::int64_t removed, const QString& removedText, std::int64_t inserted)
{
    UpdateScrollBars();
    if (QAccessible::isActive()) {
        if (removed > 0) {
            QAccessibleTextRemoveEvent event(this, ClampToInt(pos - AccessibleOrigin()), removedText);
            QAccessible::updateAccessibility(&event);
        }
        if (inserted > 0) {
            QAccessibleTextInsertEvent event(this, ClampToInt(pos - AccessibleOrigin()),
                                             FText.Text(pos, pos + std::min(inserted, NoticeLimit)));
            QAccessible::updateAccessibility(&event);
        }
    }
    EnsureVisible(FCursor);
    CaretChanged(true);
}

void TMemo::Undo()
{
    if (FText.CanUndo())
        Edit(FText.NextUndo(), [this] { return FText.Undo(); });
}

void TMemo::Redo()
{
    if (FText.CanRedo())
        Edit(FText.NextRedo(), [this] { return FText.Redo(); });
}

void TMemo::Copy()
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemo::Cut()
{
    if (!HasSelection())
        return;
    Copy();
    DeleteSelection();
}

void TMemo::Paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        InsertText(text);
}

void TMemo::DeleteSelection()
{
    if (HasSelection())
        ReplaceRange(SelectionStart(), SelectionEnd(), {});
}

void TMemo::SelectAll()
{
    FAnchor = 0;
    FCursor = FText.Length();
    FColumnX = -1;
    FText.BreakMerge();
    CaretChanged(true);
}

void TMemo::SetSelection(std::int64_t anchor, std::int64_t position)
{
    FAnchor = FText.Snap(anchor);
    FCursor = FText.Snap(position);
    FColumnX = -1;
    FText.BreakMerge();
    EnsureVisible(FCursor);
    CaretChanged(true);
}

void TMemo::CaretChanged(bool selectionToo)
{
    if (QAccessible::isActive()) {
        const std::int64_t origin = AccessibleOrigin();
        QAccessibleTextCursorEvent cursor(this, ClampToInt(FCursor - origin));
        QAccessible::updateAccessibility(&cursor);
        if (selectionToo) {
            QAccessibleTextSelectionEvent selection(this, ClampToInt(SelectionStart() - origin),
                                                    ClampToInt(SelectionEnd() - origin));
            QAccessible::updateAccessibility(&selection);
        }
    }
    RestartBlink();
    viewport()->update();
    updateMicroFocus();
}

void TMemo::CopyToSelectionClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && HasSelection() && SelectionEnd() - SelectionStart() <= PrimaryLimit)
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

QMenu* TMemo::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    const auto add = [&](const QString& text, const char* name, QKeySequence::StandardKey key,
                         bool enabled, void (TMemo::*slot)()) {
        QString caption = text;
        const QKeySequence shortcut(key);
        if (!shortcut.isEmpty())
            caption += u'\t' + shortcut.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1StringView(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, slot] { CallHandler([&] { (this->*slot)(); }); });
    };
    const bool hasText = FText.Length() > 0;
    add(tr("&Undo"), "edit-undo", QKeySequence::Undo, FText.CanUndo(), &TMemo::Undo);
    add(tr("&Redo"), "edit-redo", QKeySequence::Redo, FText.CanRedo(), &TMemo::Redo);
    menu->addSeparator();
    add(tr("Cu&t"), "edit-cut", QKeySequence::Cut, HasSelection(), &TMemo::Cut);
    add(tr("&Copy"), "edit-copy", QKeySequence::Copy, HasSelection(), &TMemo::Copy);
    add(tr("&Paste"), "edit-paste", QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(),
        &TMemo::Paste);
    add(tr("Delete"), "edit-delete", QKeySequence::UnknownKey, HasSelection(), &TMemo::DeleteSelection);
    menu->addSeparator();
    add(tr("Select All"), "select-all", QKeySequence::SelectAll,
        hasText && (SelectionStart() > 0 || SelectionEnd() < FText.Length()), &TMemo::SelectAll);
    return menu;
}

// --- Layout ---------------------------------------------------------------

void TMemo::ForgetLayouts() const
{
    FLayouts.clear();
    FLaidOutUnits = 0;
    FLongLines.clear();
    FLaidOutRevision = FText.Revision();
}

qreal TMemo::Advance(char32_t code) const
{
    if (code >= 0x10000)
        return QFontMetricsF(font()).horizontalAdvance(QString::fromUcs4(&code, 1));
    if (FAdvances.empty())
        FAdvances.assign(0x10000, -1.0f);
    float& advance = FAdvances[code];
    if (advance < 0)
        advance = float(QFontMetricsF(font()).horizontalAdvance(QChar(char16_t(code))));
    return advance;
}

qreal TMemo::Advances(QStringView text, qreal x) const
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\t') {
            x = (std::floor(x / TabStop) + 1) * TabStop;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
            x += Advance(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else {
            x += Advance(c);
        }
    }
    return x;
}

const TMemo::TLongLine& TMemo::LongLineMap(std::int64_t line) const
{
    if (const auto found = FLongLines.find(line); found != FLongLines.end())
        return **found;
    if (FLongLines.size() > 64)
        FLongLines.clear();
    auto map = std::make_shared<TLongLine>();
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t end = FText.LineEnd(line);
    qreal x = 0;
    // Decoded a large slice at a time; the marks fall every Chunk units, on
    // character boundaries.
    constexpr std::int64_t Slice = 64 * Chunk;
    for (std::int64_t at = start; at < end;) {
        const std::int64_t sliceEnd = FText.Snap(std::min(at + Slice, end));
        const QString text = FText.Text(at, sliceEnd > at ? sliceEnd : at + 2);
        map->HasTabs = map->HasTabs || text.contains(u'\t');
        for (qsizetype i = 0; i < text.size();) {
            qsizetype next = std::min<qsizetype>(i + Chunk, text.size());
            if (next < text.size() && text[next].isLowSurrogate())
                ++next;
            map->Offset.push_back(at + i - start);
            map->X.push_back(x);
            x = Advances(QStringView(text).sliced(i, next - i), x);
            i = next;
        }
        at += text.size();
    }
    map->Width = x;
    // The direction of the whole line, from its first strong character.
    map->RightToLeft = FText.Text(start, FText.Snap(std::min(end, start + LongLine))).isRightToLeft();
    LineMeasured(end - start, x);
    FLongLines.insert(line, map);
    return *map;
}

void TMemo::PatchLongLines(std::int64_t line, bool withinLine, std::int64_t pos, std::int64_t removed,
                           std::int64_t inserted)
{
    FLayouts.clear();
    FLaidOutUnits = 0;
    FLaidOutRevision = FText.Revision();
    // Other lines keep their marks while the lines keep their numbers.
    if (!withinLine) {
        FLongLines.clear();
        return;
    }
    const auto found = FLongLines.find(line);
    if (found == FLongLines.end())
        return;
    TLongLine& map = **found;
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t lineLength = FText.LineEnd(line) - start;
    const std::int64_t at = pos - start;
    const auto k = qsizetype(std::upper_bound(map.Offset.begin(), map.Offset.end(), at) - map.Offset.begin() - 1);
    const qsizetype count = qsizetype(map.Offset.size());
    const std::int64_t delta = inserted - removed;
    const std::int64_t oldEnd = k + 1 < count ? map.Offset[k + 1] : lineLength - delta;
    const std::int64_t newEnd = oldEnd + delta;
    // Tabs make every later x depend on this one, and a chunk that became
    // empty or very large is better measured again.
    if (map.HasTabs || k < 0 || at + removed > oldEnd || newEnd <= map.Offset[k]
        || newEnd - map.Offset[k] > 8 * Chunk || lineLength <= LongLine) {
        FLongLines.erase(found);
        return;
    }
    const QString chunk = FText.Text(start + map.Offset[k], start + newEnd);
    if (chunk.contains(u'\t')) {
        FLongLines.erase(found);
        return;
    }
    const qreal oldWidth = (k + 1 < count ? map.X[k + 1] : map.Width) - map.X[k];
    const qreal change = Advances(chunk, 0) - oldWidth;
    for (qsizetype j = k + 1; j < count; ++j) {
        map.Offset[j] += delta;
        map.X[j] += change;
    }
    map.Width += change;
    if (at < LongLine)
        map.RightToLeft = FText.Text(start, FText.Snap(std::min(start + lineLength, start + LongLine))).isRightToLeft();
    GrowWidth(map.Width);
}

TMemo::TLayoutPtr TMemo::LayoutFor(std::int64_t line, std::int64_t pos, qreal x) const
{
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    qsizetype window = 0;
    if (lineEnd - lineStart > LongLine) {
        const TLongLine& map = LongLineMap(line);
        window = pos >= 0 ? std::min(map.ChunkAt(pos - lineStart) / WindowChunks, map.Windows() - 1)
                          : map.WindowAtX(x);
    }
    return WindowLayout(line, window);
}

TMemo::TLayoutPtr TMemo::WindowLayout(std::int64_t line, qsizetype window) const
{
    if (FText.Revision() != FLaidOutRevision)
        ForgetLayouts();
    const auto key = std::make_pair(line, std::int64_t(window));
    if (const auto found = FLayouts.find(key); found != FLayouts.end())
        return *found;

    auto layout = std::make_shared<TLineLayout>();
    layout->LineStart = FText.LineStart(line);
    layout->LineEnd = FText.LineEnd(line);
    layout->Start = layout->LineStart;
    layout->End = layout->LineEnd;
    layout->Window = window;
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(TabStop);
    // Every line starts at the left margin, right-to-left ones too.
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    QString text;
    if (layout->LineEnd - layout->LineStart > LongLine) {
        const TLongLine& map = LongLineMap(line);
        const qsizetype first = window * WindowChunks;
        const qsizetype last = std::min<qsizetype>(first + WindowChunks, qsizetype(map.Offset.size()));
        layout->Start = layout->LineStart + map.Offset[first];
        layout->End = last < qsizetype(map.Offset.size()) ? layout->LineStart + map.Offset[last] : layout->LineEnd;
        layout->Width = map.Width;
        layout->RightToLeft = map.RightToLeft;
        // A window takes the direction of its whole line, and sits where its
        // marks say: from the left end, or mirrored from the right end.
        option.setTextDirection(map.RightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        layout->X0 = map.RightToLeft ? map.Width - map.ChunkX(last) : map.ChunkX(first);
        if (map.HasTabs && !map.RightToLeft) {
            // Tab stops keep their places in the whole line.
            QList<qreal> tabs;
            const qreal limit = map.ChunkX(last) - layout->X0 + TabStop;
            for (qreal stop = (std::floor(layout->X0 / TabStop) + 1) * TabStop - layout->X0; stop < limit;
                 stop += TabStop)
                tabs << stop;
            option.setTabArray(tabs);
        }
        text = FText.Text(layout->Start, layout->End);
    } else {
        text = FText.Text(layout->Start, layout->End);
        layout->RightToLeft = text.isRightToLeft();
    }
    layout->Layout.setText(text);
    layout->Layout.setFont(font());
    layout->Layout.setTextOption(option);
    layout->Layout.setCacheEnabled(true);
    const bool preedit = !FPreedit.isEmpty() && FCursor >= layout->Start
                         && (FCursor < layout->End || FCursor == layout->LineEnd) && FText.LineOf(FCursor) == line;
    if (preedit) {
        layout->Layout.setPreeditArea(int(FCursor - layout->Start), FPreedit);
        QList<QTextLayout::FormatRange> formats;
        for (const QTextLayout::FormatRange& range : FPreeditFormats)
            formats.append({range.start + int(FCursor - layout->Start), range.length, range.format});
        layout->Layout.setFormats(formats);
    }
    layout->Layout.beginLayout();
    QTextLine textLine = layout->Layout.createLine();
    textLine.setLineWidth(1e7);
    textLine.setPosition(QPointF(0, 0));
    layout->Layout.endLayout();
    if (layout->Start == layout->LineStart && layout->End == layout->LineEnd) {
        layout->Width = textLine.naturalTextWidth();
        LineMeasured(layout->End - layout->Start, layout->Width);
    }
    if (!preedit) {
        FLaidOutUnits += layout->End - layout->Start;
        if (FLaidOutUnits > CachedUnits) {
            FLayouts.clear();
            FLaidOutUnits = layout->End - layout->Start;
        }
        FLayouts.insert(key, layout);
    }
    return layout;
}

bool TMemo::LineIsRightToLeft(std::int64_t line) const
{
    return LayoutFor(line, FText.LineStart(line))->RightToLeft;
}

qreal TMemo::XOf(std::int64_t pos) const
{
    return LayoutFor(FText.LineOf(pos), pos)->XOf(pos);
}

std::int64_t TMemo::PositionIn(std::int64_t line, qreal x) const
{
    line = std::clamp<std::int64_t>(line, 0, FText.LineCount() - 1);
    const TLayoutPtr layout = LayoutFor(line, -1, x);
    return layout->Start + layout->Line().xToCursor(x - layout->X0, QTextLine::CursorBetweenCharacters);
}

std::int64_t TMemo::NextPosition(std::int64_t pos, bool word) const
{
    const std::int64_t line = FText.LineOf(pos);
    if (pos >= FText.LineEnd(line))
        return std::min(pos + 1, FText.Length());
    if (word)
        return WordStep(pos, true);
    const TLayoutPtr layout = LayoutFor(line, pos);
    const int next = layout->Layout.nextCursorPosition(int(pos - layout->Start));
    return std::max(layout->Start + next, pos + 1);
}

std::int64_t TMemo::PreviousPosition(std::int64_t pos, bool word) const
{
    const std::int64_t line = FText.LineOf(pos);
    if (pos <= FText.LineStart(line))
        return std::max<std::int64_t>(pos - 1, 0);
    if (word)
        return WordStep(pos, false);
    const TLayoutPtr layout = LayoutFor(line, pos);
    const int previous = layout->Layout.previousCursorPosition(int(pos - layout->Start));
    return std::min(layout->Start + previous, pos - 1);
}

std::int64_t TMemo::WordStep(std::int64_t pos, bool forward) const
{
    // Word edges come from the text around pos, taken in growing slices until
    // the edge falls inside one, so that no window edge stops a word.
    const std::int64_t line = FText.LineOf(pos);
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    for (std::int64_t span = Chunk;; span *= 4) {
        const std::int64_t from = forward ? pos : FText.Snap(std::max(lineStart, pos - span));
        const std::int64_t to = forward ? FText.Snap(std::min(lineEnd, pos + span)) : pos;
        QTextLayout slice(FText.Text(from, to)); // character attributes only; nothing is shaped
        const int local = int(pos - from);
        const std::int64_t edge = from + (forward ? slice.nextCursorPosition(local, QTextLayout::SkipWords)
                                                  : slice.previousCursorPosition(local, QTextLayout::SkipWords));
        if (forward ? (edge < to || to == lineEnd) : (edge > from || from == lineStart))
            return forward ? std::max(edge, pos + 1) : std::min(edge, pos - 1);
    }
}

std::pair<std::int64_t, std::int64_t> TMemo::WordAt(std::int64_t pos) const
{
    const std::int64_t line = FText.LineOf(pos);
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    // The characters around pos, more of them until the word ends inside.
    for (std::int64_t span = 256;; span *= 4) {
        const std::int64_t from = FText.Snap(std::max(lineStart, pos - span));
        const std::int64_t to = FText.Snap(std::min(lineEnd, pos + span));
        const QString text = FText.Text(from, to);
        qsizetype i = qsizetype(pos - from);
        if (i >= text.size() || !IsWordCharacter(text[i])) {
            if (i > 0 && IsWordCharacter(text[i - 1]))
                --i;
            else if (i < text.size())
                return {pos, FText.Snap(pos + (text[i].isHighSurrogate() ? 2 : 1))};
            else
                return {pos, pos};
        }
        qsizetype start = i;
        qsizetype end = i;
        while (start > 0 && IsWordCharacter(text[start - 1]))
            --start;
        while (end < text.size() && IsWordCharacter(text[end]))
            ++end;
        if ((start > 0 || from == lineStart) && (end < text.size() || to == lineEnd))
            return {from + start, from + end};
    }
}

// --- Geometry and scrolling -----------------------------------------------

int TMemo::LineHeight() const
{
    return std::max(1, QFontMetrics(font()).height());
}

int TMemo::VisibleLines() const
{
    return std::max(1, (viewport()->height() - Margin) / LineHeight());
}

std::int64_t TMemo::FirstVisibleLine() const
{
    return verticalScrollBar()->value();
}

qreal TMemo::HorizontalOffset() const
{
    return horizontalScrollBar()->value() * FWidthScale;
}

void TMemo::ResetWidth()
{
    FWidestLaidOut = 0;
    FWidthEstimate = qreal(FText.Original().LongestLine()) * QFontMetricsF(font()).averageCharWidth();
}

void TMemo::LineMeasured(std::int64_t units, qreal width) const
{
    // The loaded text's longest line measured exactly: no need to guess any more.
    if (units == FText.Original().LongestLine() && FText.Untouched())
        FWidthEstimate = 0;
    GrowWidth(width);
}

void TMemo::GrowWidth(qreal width) const
{
    if (width <= FWidestLaidOut)
        return;
    FWidestLaidOut = width;
    const_cast<TMemo*>(this)->UpdateScrollBars();
}

void TMemo::UpdateScrollBars()
{
    const int visible = VisibleLines();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setRange(0, ClampToInt(FText.LineCount() - visible));

    // Past about a billion pixels one step of the bar is several pixels.
    const qreal total = std::max(FWidestLaidOut, FWidthEstimate) + 2 * Margin + 1;
    const qreal available = std::max(1, viewport()->width());
    const qreal scale = std::max<qreal>(1, std::ceil(total / 1e9));
    QScrollBar* horizontal = horizontalScrollBar();
    if (scale != FWidthScale) {
        const qreal offset = HorizontalOffset();
        FWidthScale = scale;
        horizontal->setRange(0, int(std::ceil((total - available) / scale)));
        horizontal->setValue(int(offset / scale));
    }
    horizontal->setPageStep(std::max(1, int(available / scale)));
    horizontal->setSingleStep(std::max(1, int(20 / scale)));
    horizontal->setRange(0, std::max(0, int(std::ceil((total - available) / scale))));
}

QRect TMemo::CaretRect(std::int64_t pos) const
{
    pos = FText.Snap(pos);
    const std::int64_t line = FText.LineOf(pos);
    const TLayoutPtr layout = LayoutFor(line, pos);
    // At the caret, the input method's cursor within the text being composed.
    const int local = int(pos - layout->Start) + (pos == FCursor ? FPreeditCursor : 0);
    const qreal x = layout->X0 + layout->Line().cursorToX(local);
    // Rounded, as Qt's own text fields report their cursor.
    return QRect(qRound(Margin + x - HorizontalOffset()), Margin + int(line - FirstVisibleLine()) * LineHeight(), 1,
                 LineHeight());
}

QRect TMemo::CharacterRect(std::int64_t pos) const
{
    pos = FText.Snap(pos);
    const std::int64_t line = FText.LineOf(pos);
    const TLayoutPtr layout = LayoutFor(line, pos);
    qreal x = layout->XOf(pos);
    qreal right = x + QFontMetricsF(font()).horizontalAdvance(u' ');
    if (pos < layout->End) {
        // The character's own edges: in right-to-left text its end lies left of its start.
        const qreal other = layout->XOf(layout->Start + layout->Layout.nextCursorPosition(int(pos - layout->Start)));
        right = std::max(x, other);
        x = std::min(x, other);
    }
    const int left = int(std::floor(Margin + x - HorizontalOffset()));
    const int top = Margin + int(line - FirstVisibleLine()) * LineHeight();
    return QRect(left, top, std::max(1, int(std::ceil(right - x))), LineHeight());
}

std::int64_t TMemo::PositionAt(const QPoint& point) const
{
    const int row = point.y() < Margin ? -1 : (point.y() - Margin) / LineHeight();
    return PositionIn(FirstVisibleLine() + row, point.x() - Margin + HorizontalOffset());
}

void TMemo::EnsureVisible(std::int64_t pos)
{
    const std::int64_t line = FText.LineOf(pos);
    const std::int64_t first = FirstVisibleLine();
    const int visible = VisibleLines();
    if (line < first)
        verticalScrollBar()->setValue(ClampToInt(line));
    else if (line >= first + visible)
        verticalScrollBar()->setValue(ClampToInt(line - visible + 1));

    const qreal x = XOf(pos);
    GrowWidth(x);
    const qreal offset = HorizontalOffset();
    const qreal width = viewport()->width() - 2 * Margin - 1;
    if (x < offset)
        horizontalScrollBar()->setValue(int(std::floor(x / FWidthScale)));
    else if (x > offset + width)
        horizontalScrollBar()->setValue(int(std::ceil((x - width) / FWidthScale)));
}

void TMemo::scrollContentsBy(int, int)
{
    viewport()->update();
}

// --- Painting -------------------------------------------------------------

void TMemo::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Text));
    painter.setFont(font());

    const int lineHeight = LineHeight();
    const qreal offset = HorizontalOffset();
    const std::int64_t selectionStart = SelectionStart();
    const std::int64_t selectionEnd = SelectionEnd();
    const bool showCaret = hasFocus() && FCaretOn;
    const qreal spaceWidth = QFontMetricsF(font()).horizontalAdvance(u' ');

    QTextCharFormat selected;
    selected.setBackground(colours.brush(QPalette::Highlight));
    selected.setForeground(colours.brush(QPalette::HighlightedText));

    const qreal right = offset + viewport()->width();
    std::int64_t line = FirstVisibleLine();
    for (int y = Margin; y < viewport()->height() && line < FText.LineCount(); y += lineHeight, ++line) {
        // A short line is one layout; a long one the windows across the view.
        TLayoutPtr layout = LayoutFor(line, -1, offset);
        const qreal lineWidth = layout->Width;
        for (;;) {
            const QPointF origin(Margin + layout->X0 - offset, y);
            QList<QTextLayout::FormatRange> ranges;
            if (selectionStart < layout->End && selectionEnd > layout->Start) {
                const std::int64_t from = std::max(selectionStart, layout->Start);
                const std::int64_t to = std::min(selectionEnd, layout->End);
                ranges.append({int(from - layout->Start), int(to - from), selected});
            }
            layout->Layout.draw(&painter, origin, ranges);
            const bool caretHere = FCursor >= layout->Start && (FCursor < layout->End || FCursor == layout->LineEnd)
                                   && FText.LineOf(FCursor) == line;
            if (showCaret && caretHere && FPreeditCursorVisible)
                layout->Layout.drawCursor(&painter, origin, int(FCursor - layout->Start) + FPreeditCursor, 1);
            if (layout->X0 + layout->Line().naturalTextWidth() >= right)
                break;
            // The window to the right: the next one, or in a right-to-left line the one before.
            const qsizetype next = layout->Window + (layout->RightToLeft ? -1 : 1);
            if (layout->Start == layout->LineStart && layout->End == layout->LineEnd)
                break;
            if (next < 0 || next >= LongLineMap(line).Windows())
                break;
            layout = WindowLayout(line, next);
        }
        // A selected line end shows as a space's width of highlight after the line.
        if (selectionStart <= FText.LineEnd(line) && selectionEnd > FText.LineEnd(line)) {
            const qreal x = Margin + lineWidth - offset;
            if (x < viewport()->width())
                painter.fillRect(QRectF(x, y, spaceWidth, lineHeight), colours.brush(QPalette::Highlight));
        }
    }
}

void TMemo::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TMemo::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FAdvances.clear();
        ForgetLayouts();
        ResetWidth();
        UpdateScrollBars();
        viewport()->update();
    }
}

// --- Caret ------------------------------------------------------------------

void TMemo::RestartBlink()
{
    FCaretOn = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (hasFocus() && flash > 0)
        FBlink.start(flash / 2, this);
    else
        FBlink.stop();
}

void TMemo::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TMemo::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    FBlink.stop();
    viewport()->update();
}

void TMemo::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == FBlink.timerId()) {
        FCaretOn = !FCaretOn;
        viewport()->update(CharacterRect(FCursor).adjusted(-2, 0, 2, 0));
    } else if (event->timerId() == FScrollTimer.timerId()) {
        AutoScroll();
    } else if (event->timerId() == FTripleClick.timerId()) {
        FTripleClick.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

// --- Keyboard ---------------------------------------------------------------

namespace {

enum class TMove { mvNextChar, mvPreviousChar, mvNextWord, mvPreviousWord, mvNextLine, mvPreviousLine,
                   mvLineStart, mvLineEnd, mvTextStart, mvTextEnd, mvNextPage, mvPreviousPage };

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

struct TMoveKey {
    QKeySequence::StandardKey Key;
    TMove Move;
    bool Select;
};

constexpr TMoveKey MoveKeys[] = {
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

struct TActionKey {
    QKeySequence::StandardKey Key;
    void (TMemo::*Action)();
};

constexpr TActionKey ActionKeys[] = {
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

} // namespace

bool TMemo::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys that edit here are not shortcuts for the window.
        auto* key = static_cast<QKeyEvent*>(event);
        // Text typed with Alt or Meta goes to a shortcut first, if one wants it.
        const bool plain = !(key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
        bool mine = (TypesText(key) && plain) || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete
                    || key->key() == Qt::Key_Insert || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        for (const TMoveKey& move : MoveKeys)
            mine = mine || key->matches(move.Key);
        for (const TActionKey& action : ActionKeys)
            mine = mine || key->matches(action.Key);
        if (mine) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TMemo::keyPressEvent(QKeyEvent* event)
{
    bool handled = false;
    CallHandler([&] { handled = HandleKey(event); });
    if (handled)
        event->accept();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

bool TMemo::HandleKey(QKeyEvent* event)
{
    for (const TActionKey& action : ActionKeys) {
        if (event->matches(action.Key)) {
            (this->*action.Action)();
            return true;
        }
    }
    if (IsKey(event, Qt::Key_Insert, Qt::ControlModifier)) {
        Copy();
        return true;
    }
    if (IsKey(event, Qt::Key_Insert, Qt::ShiftModifier)) {
        Paste();
        return true;
    }
    if (IsKey(event, Qt::Key_Delete, Qt::ShiftModifier)) {
        Cut();
        return true;
    }

    for (const TMoveKey& move : MoveKeys) {
        if (!event->matches(move.Key))
            continue;
        const std::int64_t line = FText.LineOf(FCursor);
        const int page = VisibleLines();
        std::int64_t target = FCursor;
        bool keepColumn = false;
        const auto toLine = [&](std::int64_t wanted) {
            if (FColumnX < 0)
                FColumnX = XOf(FCursor);
            // Past the first or last line the caret goes to the text's start
            // or end, and the column starts afresh from there.
            keepColumn = wanted >= 0 && wanted < FText.LineCount();
            if (wanted < 0)
                return std::int64_t(0);
            if (wanted >= FText.LineCount())
                return FText.Length();
            return PositionIn(wanted, FColumnX);
        };
        switch (Mirrored(move.Move, LineIsRightToLeft(line))) {
        case TMove::mvNextChar:
            target = !move.Select && HasSelection() ? SelectionEnd() : NextPosition(FCursor, false);
            break;
        case TMove::mvPreviousChar:
            target = !move.Select && HasSelection() ? SelectionStart() : PreviousPosition(FCursor, false);
            break;
        case TMove::mvNextWord: target = NextPosition(FCursor, true); break;
        case TMove::mvPreviousWord: target = PreviousPosition(FCursor, true); break;
        case TMove::mvNextLine: target = toLine(line + 1); break;
        case TMove::mvPreviousLine: target = toLine(line - 1); break;
        case TMove::mvLineStart: target = FText.LineStart(line); break;
        case TMove::mvLineEnd: target = FText.LineEnd(line); break;
        case TMove::mvTextStart: target = 0; break;
        case TMove::mvTextEnd: target = FText.Length(); break;
        case TMove::mvNextPage:
            verticalScrollBar()->setValue(ClampToInt(FirstVisibleLine() + page));
            target = toLine(std::min(line + page, FText.LineCount() - 1));
            break;
        case TMove::mvPreviousPage:
            verticalScrollBar()->setValue(ClampToInt(FirstVisibleLine() - page));
            target = toLine(std::max<std::int64_t>(line - page, 0));
            break;
        }
        MoveTo(target, move.Select, keepColumn);
        return true;
    }
    // An editing key ends a run of Up and Down, even one that changes nothing.
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter || TypesText(event))
        FColumnX = -1;

    if (event->matches(QKeySequence::DeleteStartOfWord)) {
        if (HasSelection())
            DeleteSelection();
        else
            ReplaceRange(PreviousPosition(FCursor, true), FCursor, {});
        return true;
    }
    if (event->matches(QKeySequence::DeleteEndOfWord)) {
        if (HasSelection())
            DeleteSelection();
        else
            ReplaceRange(FCursor, NextPosition(FCursor, true), {});
        return true;
    }
    if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        if (HasSelection())
            DeleteSelection();
        else if (FCursor > 0)
            ReplaceRange(FText.Snap(FCursor - 1), FCursor, {}, TEditKind::ekDeleteBack);
        return true;
    }
    if (event->matches(QKeySequence::Delete)) {
        if (HasSelection())
            DeleteSelection();
        else if (FCursor < FText.Length())
            ReplaceRange(FCursor, NextPosition(FCursor, false), {}, TEditKind::ekDeleteForward);
        return true;
    }
    if (event->matches(QKeySequence::InsertParagraphSeparator) || event->matches(QKeySequence::InsertLineSeparator)) {
        InsertText(QStringLiteral("\n"), TEditKind::ekTyping);
        return true;
    }
    // Tab moves the focus on; Ctrl+Tab types a tab.
    if (IsKey(event, Qt::Key_Tab, Qt::ControlModifier)) {
        InsertText(QStringLiteral("\t"), TEditKind::ekTyping);
        return true;
    }
    if (TypesText(event)) {
        InsertText(event->text(), TEditKind::ekTyping);
        return true;
    }
    return false;
}

void TMemo::MoveTo(std::int64_t pos, bool select, bool keepColumn)
{
    const bool hadSelection = HasSelection();
    FCursor = FText.Snap(pos);
    if (!select)
        FAnchor = FCursor;
    if (!keepColumn)
        FColumnX = -1;
    FText.BreakMerge();
    EnsureVisible(FCursor);
    CaretChanged(select || hadSelection);
}

// --- Mouse ------------------------------------------------------------------

void TMemo::SelectAround(std::int64_t pos, TSelectUnit unit, bool extend)
{
    std::pair<std::int64_t, std::int64_t> range{pos, pos};
    if (unit == TSelectUnit::suWord) {
        range = WordAt(pos);
    } else if (unit == TSelectUnit::suLine) {
        const std::int64_t line = FText.LineOf(pos);
        range = {FText.LineStart(line), line + 1 < FText.LineCount() ? FText.LineStart(line + 1) : FText.Length()};
    }
    if (!extend) {
        FSelectFrom = range.first;
        FSelectTo = range.second;
        FAnchor = range.first;
        FCursor = range.second;
    } else if (range.first < FSelectFrom) {
        FAnchor = FSelectTo;
        FCursor = range.first;
    } else {
        FAnchor = FSelectFrom;
        FCursor = std::max(range.second, FSelectTo);
    }
    FColumnX = -1;
    FText.BreakMerge();
    EnsureVisible(FCursor);
    CaretChanged(true);
}

void TMemo::mousePressEvent(QMouseEvent* event)
{
    CallHandler([&] {
        const QPoint point = event->position().toPoint();
        const std::int64_t pos = PositionAt(point);
        if (event->button() == Qt::LeftButton) {
            FDragging = true;
            if (FTripleClick.isActive()
                && (point - FTripleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
                FSelectUnit = TSelectUnit::suLine;
                SelectAround(pos, FSelectUnit, false);
                FTripleClick.stop();
                return;
            }
            FSelectUnit = TSelectUnit::suCharacter;
            if (event->modifiers() & Qt::ShiftModifier) {
                FSelectFrom = FSelectTo = FAnchor;
                MoveTo(pos, true);
            } else {
                FSelectFrom = FSelectTo = pos;
                MoveTo(pos, false);
            }
        } else if (event->button() == Qt::MiddleButton) {
            QClipboard* clipboard = QGuiApplication::clipboard();
            if (clipboard->supportsSelection()) {
                const QString text = clipboard->text(QClipboard::Selection);
                MoveTo(pos, false);
                if (!text.isEmpty())
                    InsertText(text);
            }
        }
    });
    event->accept();
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    CallHandler([&] {
        FDragging = true;
        FSelectUnit = TSelectUnit::suWord;
        SelectAround(PositionAt(event->position().toPoint()), FSelectUnit, false);
        FTripleClickPoint = event->position().toPoint();
        FTripleClick.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
    });
    event->accept();
}

void TMemo::mouseMoveEvent(QMouseEvent* event)
{
    if (!FDragging || !(event->buttons() & Qt::LeftButton))
        return;
    CallHandler([&] {
        FLastMouse = event->position().toPoint();
        if (viewport()->rect().contains(FLastMouse))
            FScrollTimer.stop();
        else if (!FScrollTimer.isActive())
            FScrollTimer.start(50, this);
        SelectAround(PositionAt(FLastMouse), FSelectUnit, true);
    });
}

void TMemo::AutoScroll()
{
    const QRect area = viewport()->rect();
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    if (FLastMouse.y() < area.top())
        vertical->setValue(vertical->value() - 1);
    else if (FLastMouse.y() > area.bottom())
        vertical->setValue(vertical->value() + 1);
    if (FLastMouse.x() < area.left())
        horizontal->setValue(horizontal->value() - horizontal->singleStep());
    else if (FLastMouse.x() > area.right())
        horizontal->setValue(horizontal->value() + horizontal->singleStep());
    CallHandler([&] { SelectAround(PositionAt(FLastMouse), FSelectUnit, true); });
}

void TMemo::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && FDragging) {
        FDragging = false;
        FScrollTimer.stop();
        CallHandler([&] { CopyToSelectionClipboard(); });
    }
    event->accept();
}

void TMemo::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    if (delta.x() == 0 && !(event->modifiers() & Qt::ShiftModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Sideways: a tilted wheel, or Shift with the wheel.
    QScrollBar* horizontal = horizontalScrollBar();
    const int notches = (delta.x() != 0 ? delta.x() : delta.y());
    const int step = horizontal->singleStep() * QApplication::wheelScrollLines();
    horizontal->setValue(horizontal->value() - notches * step / 120);
    event->accept();
}

void TMemo::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(CreateContextMenu());
    menu->exec(event->globalPos());
}

// --- Input methods ------------------------------------------------------------

void TMemo::inputMethodEvent(QInputMethodEvent* event)
{
    CallHandler([&] {
        if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
            const std::int64_t from = event->replacementLength() > 0
                ? std::clamp<std::int64_t>(FCursor + event->replacementStart(), 0, FText.Length())
                : SelectionStart();
            const std::int64_t to = event->replacementLength() > 0
                ? std::min(from + event->replacementLength(), FText.Length())
                : SelectionEnd();
            ReplaceRange(from, to, event->commitString(), TEditKind::ekTyping);
        }
        // The text being composed shows at the caret with the input method's
        // formats (underlines, its own cursor); the commit above replaced it.
        FPreedit = event->preeditString();
        FPreeditFormats.clear();
        FPreeditCursor = 0;
        FPreeditCursorVisible = true;
        for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
            if (attribute.type == QInputMethodEvent::TextFormat) {
                const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
                if (format.isValid())
                    FPreeditFormats.append({attribute.start, attribute.length, format});
            } else if (attribute.type == QInputMethodEvent::Cursor) {
                FPreeditCursor = std::clamp(attribute.start, 0, int(FPreedit.size()));
                FPreeditCursorVisible = attribute.length != 0;
            }
        }
        if (FPreedit.isEmpty())
            FPreeditCursor = 0;
        // The caret's line is laid out afresh, with or without the preedit.
        const std::int64_t line = FText.LineOf(FCursor);
        FLayouts.removeIf([line](const auto& entry) { return entry.key().first == line; });
        viewport()->update();
        updateMicroFocus();
    });
    event->accept();
}

QVariant TMemo::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImFont:
        return font();
    case Qt::ImCursorRectangle:
        return CaretRect(FCursor).translated(viewport()->pos());
    case Qt::ImSurroundingText:
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
    case Qt::ImCurrentSelection: {
        // The caret's line, or the window of a long line around the caret;
        // positions count from its start.
        const TLayoutPtr layout = LayoutFor(FText.LineOf(FCursor), FCursor);
        const auto local = [&](std::int64_t at) { return int(std::clamp(at, layout->Start, layout->End) - layout->Start); };
        if (query == Qt::ImSurroundingText)
            return FText.Text(layout->Start, layout->End);
        if (query == Qt::ImCursorPosition)
            return local(FCursor);
        if (query == Qt::ImAnchorPosition)
            return local(FAnchor);
        return FText.Text(layout->Start + local(SelectionStart()), layout->Start + local(SelectionEnd()));
    }
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
