#include "textarea/MemoAccessible.h"

#include "textarea/MemoInternal.h"

#include <QAccessibleWidget>

using namespace MemoInternal;

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

} // namespace

QAccessibleInterface* MemoAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1StringView("TMemo") && object && object->isWidgetType())
        return new TMemoAccessible(static_cast<TMemo*>(object));
    return nullptr;
}
