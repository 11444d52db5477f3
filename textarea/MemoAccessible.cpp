#include "textarea/MemoAccessible.h"

#include "textarea/MemoEditor.h"
#include "textarea/MemoInternal.h"

#include <QAccessibleWidget>
#include <QWidget>

#include <memory>

using namespace MemoInternal;

// How a screen reader sees the text area: an editable multi-line text whose
// parts are decoded only as they are asked for.

namespace {

// Where the text a screen reader is offered begins: 0, unless the text is
// longer than an int can count. Past that many units readers are offered a
// stretch of that length around the caret, which moves on half a billion
// units at a time, so that offsets stay put while the caret moves about.
std::int64_t AccessibleOrigin(const TMemoEditor& editor)
{
    constexpr std::int64_t Limit = std::numeric_limits<int>::max();
    constexpr std::int64_t Step = std::int64_t(1) << 30;
    const TMemoText& text = editor.Text();
    const std::int64_t length = text.Length();
    if (length <= Limit)
        return 0;
    const std::int64_t origin = std::clamp<std::int64_t>(editor.Cursor() / Step * Step - Step / 2, 0, length - Limit);
    // Never inside a surrogate pair; past it, so that the text's end stays in reach.
    return text.Snap(origin) < origin ? origin + 1 : origin;
}

class TMemoAccessible final : public QAccessibleWidget,
                              public QAccessibleTextInterface,
                              public QAccessibleEditableTextInterface
{
public:
    TMemoAccessible(QWidget* widget, TTextView* view) : QAccessibleWidget(widget, QAccessible::EditableText), FView(view) {}

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
        if (index == 0 && Editor().HasSelection()) {
            *start = Offset(Editor().SelectionStart());
            *end = Offset(Editor().SelectionEnd());
        }
    }
    int selectionCount() const override { return Editor().HasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { Editor().SetSelection(Pos(start), Pos(end)); }
    void removeSelection(int index) override
    {
        if (index == 0)
            Editor().SetSelection(Editor().Cursor(), Editor().Cursor());
    }
    void setSelection(int index, int start, int end) override
    {
        if (index == 0)
            Editor().SetSelection(Pos(start), Pos(end));
    }
    int cursorPosition() const override { return Offset(Editor().Cursor()); }
    void setCursorPosition(int position) override { Editor().SetSelection(Pos(position), Pos(position)); }
    QString text(int start, int end) const override { return Editor().Text().Text(Pos(start), Pos(end)); }
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
        const QRect rect = FView->CharacterRect(Pos(offset));
        return QRect(FView->TextViewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = FView->TextViewport()->mapFromGlobal(point);
        if (!FView->TextViewport()->rect().contains(local))
            return -1;
        return Offset(FView->PositionAt(local));
    }
    void scrollToSubstring(int start, int end) override
    {
        FView->EnsureVisible(Pos(end));
        FView->EnsureVisible(Pos(start));
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
    void deleteText(int start, int end) override { Editor().Replace(Pos(start), Pos(end), {}); }
    void insertText(int offset, const QString& text) override { Editor().Replace(Pos(offset), Pos(offset), text); }
    void replaceText(int start, int end, const QString& text) override
    {
        Editor().Replace(Pos(start), Pos(end), text);
    }

private:
    TMemoEditor& Editor() const { return FView->Editor(); }

    std::int64_t Origin() const { return AccessibleOrigin(Editor()); }
    std::int64_t End() const
    {
        return std::min(Editor().Text().Length(), Origin() + std::numeric_limits<int>::max());
    }
    std::int64_t Pos(int offset) const { return std::clamp<std::int64_t>(Origin() + offset, Origin(), End()); }
    int Offset(std::int64_t pos) const { return ClampToInt(pos - Origin()); }

    std::pair<std::int64_t, std::int64_t> Around(std::int64_t at, QAccessible::TextBoundaryType boundary) const
    {
        const TMemoText& text = Editor().Text();
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
            return Editor().WordAt(at);
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
        return Editor().Text().Text(from, to);
    }

    TTextView* FView;
};

} // namespace

QAccessibleInterface* MemoAccessibleFactory(const QString& className, QObject* object)
{
    if (className != QLatin1StringView("TMemo") || !object || !object->isWidgetType())
        return nullptr;
    auto* view = dynamic_cast<TTextView*>(object);
    return view ? new TMemoAccessible(static_cast<QWidget*>(object), view) : nullptr;
}

void AnnounceToScreenReaders(QWidget* widget, const TMemoEditor& editor)
{
    const TMemoEditor* source = &editor;
    const auto offset = [source](std::int64_t pos) { return ClampToInt(pos - AccessibleOrigin(*source)); };
    // What an edit removes is read before it goes, at most NoticeLimit units of it.
    auto removed = std::make_shared<QString>();
    QObject::connect(source, &TMemoEditor::TextChanging, widget, [source, removed](const TEditChange& coming) {
        *removed = QAccessible::isActive()
            ? source->Text().Text(coming.Pos, coming.Pos + std::min(coming.Removed, NoticeLimit)) : QString();
    });
    QObject::connect(source, &TMemoEditor::TextChanged, widget, [=](const TEditChange& change) {
        if (!QAccessible::isActive())
            return;
        if (change.Removed > 0) {
            QAccessibleTextRemoveEvent event(widget, offset(change.Pos), *removed);
            QAccessible::updateAccessibility(&event);
        }
        if (change.Inserted > 0) {
            const QString text = source->Text().Text(change.Pos, change.Pos + std::min(change.Inserted, NoticeLimit));
            QAccessibleTextInsertEvent event(widget, offset(change.Pos), text);
            QAccessible::updateAccessibility(&event);
        }
        removed->clear();
    });
    QObject::connect(source, &TMemoEditor::CaretMoved, widget, [=](bool selectionToo, bool) {
        if (!QAccessible::isActive())
            return;
        QAccessibleTextCursorEvent cursor(widget, offset(source->Cursor()));
        QAccessible::updateAccessibility(&cursor);
        if (selectionToo) {
            QAccessibleTextSelectionEvent selection(widget, offset(source->SelectionStart()),
                                                    offset(source->SelectionEnd()));
            QAccessible::updateAccessibility(&selection);
        }
    });
}
