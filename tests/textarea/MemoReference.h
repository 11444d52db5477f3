#pragma once

// A deliberately simple model of the text area's text, a QString, and a
// driver that applies the same edits to it and to TMemoText and tells where
// they disagree. Used by the unit tests and the fuzz target.

#include "textarea/MemoText.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace MemoReference {

// The well-formed UTF-8 byte sequences as the Unicode standard tabulates
// them (Table 3-7): the range of the lead byte, then the range of each byte
// that must follow.
struct TSequence {
    uchar LeadFrom, LeadTo;
    int Count;
    uchar Next[3][2];
};

constexpr TSequence Sequences[] = {
    {0x00, 0x7F, 0, {}},
    {0xC2, 0xDF, 1, {{0x80, 0xBF}}},
    {0xE0, 0xE0, 2, {{0xA0, 0xBF}, {0x80, 0xBF}}},
    {0xE1, 0xEC, 2, {{0x80, 0xBF}, {0x80, 0xBF}}},
    {0xED, 0xED, 2, {{0x80, 0x9F}, {0x80, 0xBF}}},
    {0xEE, 0xEF, 2, {{0x80, 0xBF}, {0x80, 0xBF}}},
    {0xF0, 0xF0, 3, {{0x90, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}},
    {0xF1, 0xF3, 3, {{0x80, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}},
    {0xF4, 0xF4, 3, {{0x80, 0x8F}, {0x80, 0xBF}, {0x80, 0xBF}}},
};

// UTF-8 by the table: a well-formed sequence is its character (Qt's decoder
// turns it into UTF-16), and each maximal subpart of an ill-formed one, or a
// byte that starts no sequence, is one U+FFFD.
inline QString Decode(QByteArrayView bytes)
{
    QString out;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const uchar lead = uchar(bytes[i]);
        const TSequence* row = std::find_if(std::begin(Sequences), std::end(Sequences), [lead](const TSequence& r) {
            return lead >= r.LeadFrom && lead <= r.LeadTo;
        });
        int matched = 0;
        if (row != std::end(Sequences)) {
            while (matched < row->Count && i + 1 + matched < bytes.size()
                   && uchar(bytes[i + 1 + matched]) >= row->Next[matched][0]
                   && uchar(bytes[i + 1 + matched]) <= row->Next[matched][1])
                ++matched;
        }
        if (row != std::end(Sequences) && matched == row->Count)
            out += QString::fromUtf8(bytes.sliced(i, 1 + matched));
        else
            out += QChar(0xFFFD);
        i += 1 + matched;
    }
    return out;
}

// What the bytes show: cut at the first zero; a start inside a character (up
// to three continuation bytes) one U+FFFD, the rest decoded by the table;
// then every line end, CR LF, a lone CR or a lone LF, one '\n'.
inline QString TextOf(const QByteArray& bytes)
{
    QByteArrayView b(bytes);
    const qsizetype zero = b.indexOf('\0');
    if (zero >= 0)
        b = b.first(zero);
    qsizetype cut = 0;
    while (cut < 3 && cut < b.size() && (uchar(b[cut]) & 0xC0) == 0x80)
        ++cut;
    QString text = (cut > 0 ? QStringLiteral("\uFFFD") : QString()) + Decode(b.sliced(cut));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

// What an inserted text becomes: every line end one '\n', lone surrogates U+FFFD.
inline QString Inserted(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u'\n';
        } else if (c == QChar(0x2029)) {
            out += u'\n';
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (c.isSurrogate()) {
            out += QChar(0xFFFD);
        } else {
            out += c;
        }
    }
    return out;
}

inline TTextStore StoreOf(const QByteArray& bytes)
{
    TBlockBytes block(static_cast<char*>(std::malloc(std::size_t(bytes.size()) + 1)));
    std::memcpy(block.get(), bytes.constData(), std::size_t(bytes.size()));
    return TTextStore(std::move(block), bytes.size());
}

// Applies edits to both models; Check() returns the first disagreement, or
// an empty text. The reference keeps whole texts for undo and decides by
// itself which edits join the step before.
class TChecker
{
public:
    explicit TChecker(const QByteArray& bytes) : FReference(TextOf(bytes))
    {
        FModel.Load(StoreOf(bytes));
    }

    // Moves a position off the middle of a surrogate pair, as the model does.
    qint64 Snap(qint64 pos) const
    {
        pos = std::clamp<qint64>(pos, 0, FReference.size());
        if (pos > 0 && pos < FReference.size() && FReference[pos].isLowSurrogate()
            && FReference[pos - 1].isHighSurrogate())
            --pos;
        return pos;
    }

    // An edit of a kind. Typing joins the typing step it continues (at the
    // end of what that step typed); Backspace joins the deleting it
    // continues leftwards, Delete the deleting at the same place; any other
    // edit, an undo, a redo or BreakMerge ends the run.
    void Replace(qint64 from, qint64 to, const QString& text, TEditKind kind = TEditKind::ekOther)
    {
        from = Snap(from);
        to = Snap(to);
        if (from > to)
            std::swap(from, to);
        const QString inserted = Inserted(text);
        if (from == to && inserted.isEmpty())
            return;
        FModel.Replace(from, to, text, kind);
        FRedo.clear();
        const bool pure = inserted.isEmpty();
        TStep* last = FRunOpen && !FUndo.empty() && FUndo.back().Kind == kind ? &FUndo.back() : nullptr;
        if (last && kind == TEditKind::ekTyping && from == to && from == last->Pos + last->InsertedLength) {
            last->InsertedLength += inserted.size();
        } else if (last && kind == TEditKind::ekDeleteBack && pure && last->InsertedLength == 0 && to == last->Pos) {
            last->Pos = from;
            last->RemovedLength += to - from;
        } else if (last && kind == TEditKind::ekDeleteForward && pure && last->InsertedLength == 0
                   && from == last->Pos) {
            last->RemovedLength += to - from;
        } else {
            FUndo.push_back({FReference, from, to - from, inserted.size(), kind});
        }
        FRunOpen = kind != TEditKind::ekOther;
        FReference.replace(from, to - from, inserted);
    }

    void BreakMerge()
    {
        FModel.BreakMerge();
        FRunOpen = false;
    }

    // Undo and redo, with what each says it changed checked against the step.
    void Undo() { Replay(FUndo, FRedo, true); }
    void Redo() { Replay(FRedo, FUndo, false); }

    const QString& Reference() const { return FReference; }
    TMemoText& Model() { return FModel; }

    QString Check(qint64 probe) const
    {
        if (!FFault.isEmpty())
            return FFault;
        // What the next undo would change, as soon as the step is made.
        if (!FUndo.empty()) {
            const TStep& step = FUndo.back();
            const TEditChange next = FModel.NextUndo();
            if (next.Pos != step.Pos || next.Removed != step.InsertedLength || next.Inserted != step.RemovedLength)
                return QStringLiteral("next undo (%1, -%2, +%3), expected (%4, -%5, +%6)")
                    .arg(next.Pos).arg(next.Removed).arg(next.Inserted)
                    .arg(step.Pos).arg(step.InsertedLength).arg(step.RemovedLength);
        }
        if (FModel.Length() != FReference.size())
            return QStringLiteral("length %1, expected %2").arg(FModel.Length()).arg(FReference.size());
        if (FModel.Text() != FReference)
            return QStringLiteral("text differs");
        const qint64 lines = FReference.count(u'\n') + 1;
        if (FModel.LineCount() != lines)
            return QStringLiteral("line count %1, expected %2").arg(FModel.LineCount()).arg(lines);
        // One position and its line, against a scan of the reference.
        const qint64 pos = Snap(probe % (FReference.size() + 1));
        const qint64 line = FReference.left(pos).count(u'\n');
        const qint64 start = pos == 0 ? 0 : FReference.lastIndexOf(u'\n', pos - 1) + 1;
        qint64 end = FReference.indexOf(u'\n', pos);
        if (end < 0)
            end = FReference.size();
        if (FModel.LineOf(pos) != line || FModel.LineStart(line) != start || FModel.LineEnd(line) != end)
            return QStringLiteral("line of %1: model %2 [%3, %4], expected %5 [%6, %7]")
                .arg(pos).arg(FModel.LineOf(pos)).arg(FModel.LineStart(line)).arg(FModel.LineEnd(line))
                .arg(line).arg(start).arg(end);
        const qint64 to = Snap(pos + probe % 97);
        if (FModel.Text(pos, to) != FReference.mid(pos, to - pos))
            return QStringLiteral("text of [%1, %2) differs").arg(pos).arg(to);
        return {};
    }

private:
    // One undo step: the text before it, and where it removed and inserted.
    struct TStep {
        QString Before;
        qint64 Pos = 0;
        qint64 RemovedLength = 0;
        qint64 InsertedLength = 0;
        TEditKind Kind = TEditKind::ekOther;
    };

    void Replay(std::vector<TStep>& from, std::vector<TStep>& to, bool undo)
    {
        if ((undo ? FModel.CanUndo() : FModel.CanRedo()) != !from.empty())
            FFault = QStringLiteral("undo or redo offered when it should not be, or the reverse");
        if (from.empty())
            return;
        TStep step = std::move(from.back());
        from.pop_back();
        // Undo takes the inserted text out and puts the removed back; redo the reverse.
        const TEditChange change = undo ? FModel.Undo() : FModel.Redo();
        const qint64 removed = undo ? step.InsertedLength : step.RemovedLength;
        const qint64 inserted = undo ? step.RemovedLength : step.InsertedLength;
        if (change.Pos != step.Pos || change.Removed != removed || change.Inserted != inserted)
            FFault = QStringLiteral("%1 reported (%2, -%3, +%4), expected (%5, -%6, +%7)")
                         .arg(undo ? QStringLiteral("undo") : QStringLiteral("redo"))
                         .arg(change.Pos).arg(change.Removed).arg(change.Inserted)
                         .arg(step.Pos).arg(removed).arg(inserted);
        std::swap(step.Before, FReference);
        to.push_back(std::move(step));
        FRunOpen = false;
    }

    QString FReference;
    TMemoText FModel;
    std::vector<TStep> FUndo;
    std::vector<TStep> FRedo;
    bool FRunOpen = false;
    QString FFault;
};

// One random edit of the kinds the text area makes: undo, redo, typing,
// Backspace and Delete at a caret that moves now and then (so that runs of
// typing and deleting join, and end), and replacements anywhere. `choose`
// gives the choices: Below(n), a number in [0, n), and Text(reference), a
// text to insert.
template <class TChoices>
void RandomEdit(TChecker& checker, qint64& caret, TChoices& choose)
{
    const qint64 length = checker.Reference().size();
    caret = checker.Snap(std::min(caret, length));
    const qint64 from = choose.Below(length + 1);
    const qint64 to = from + choose.Below(std::min<qint64>(length - from, 100) + 1);
    switch (choose.Below(13)) {
    case 0: checker.Undo(); break;
    case 1: checker.Redo(); break;
    case 2:
    case 3:
        // The caret moves; the text area ends the run then, but a run must
        // also end where the next edit does not continue it.
        caret = from;
        if (choose.Below(2))
            checker.BreakMerge();
        break;
    case 4:
    case 5: {
        const QString typed = choose.Below(2) ? QStringLiteral("x") : choose.Text(QString());
        checker.Replace(caret, caret, typed, TEditKind::ekTyping);
        caret += Inserted(typed).size();
        break;
    }
    case 6:
    case 7:
        if (caret > 0) {
            const qint64 end = caret;
            caret = checker.Snap(caret - 1);
            checker.Replace(caret, end, QString(), TEditKind::ekDeleteBack);
        }
        break;
    case 8:
    case 9: {
        const qint64 next = caret < length && checker.Reference()[caret].isHighSurrogate() ? caret + 2 : caret + 1;
        checker.Replace(caret, next, QString(), TEditKind::ekDeleteForward);
        break;
    }
    case 10: checker.Replace(from, to, QString()); break;
    case 11: checker.Replace(0, choose.Below(3) ? 0 : length, choose.Text(checker.Reference())); break;
    default: checker.Replace(from, to, choose.Text(checker.Reference())); break;
    }
}

} // namespace MemoReference
