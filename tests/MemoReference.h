#pragma once

// A deliberately simple model of the text area's text, a QString, and a
// driver that applies the same edits to it and to TMemoText and tells where
// they disagree. Used by the unit tests and the fuzz target.

#include "components/MemoText.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <vector>

namespace MemoReference {

// What the bytes show: cut at the first zero, UTF-8 with one U+FFFD per
// ill-formed part and one for a start inside a character, every line end
// (CR LF, CR, LF) one '\n'.
inline QString TextOf(const QByteArray& bytes)
{
    QByteArray b = bytes;
    const qsizetype zero = b.indexOf('\0');
    if (zero >= 0)
        b.truncate(zero);
    QString out;
    qsizetype i = 0;
    if (i < b.size() && (uchar(b[i]) & 0xC0) == 0x80) {
        while (i < 3 && i < b.size() && (uchar(b[i]) & 0xC0) == 0x80)
            ++i;
        out += QChar(0xFFFD);
    }
    while (i < b.size()) {
        const uchar c = uchar(b[i]);
        if (c == '\r' || c == '\n') {
            i += (c == '\r' && i + 1 < b.size() && b[i + 1] == '\n') ? 2 : 1;
            out += u'\n';
            continue;
        }
        if (c < 0x80) {
            out += QChar(char16_t(c));
            ++i;
            continue;
        }
        int need = 0;
        char32_t code = 0;
        uchar low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) { need = 1; code = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { need = 2; code = c & 0x0F; low = c == 0xE0 ? 0xA0 : 0x80; high = c == 0xED ? 0x9F : 0xBF; }
        else if (c >= 0xF0 && c <= 0xF4) { need = 3; code = c & 0x07; low = c == 0xF0 ? 0x90 : 0x80; high = c == 0xF4 ? 0x8F : 0xBF; }
        int taken = 0;
        ++i;
        while (taken < need && i < b.size() && uchar(b[i]) >= low && uchar(b[i]) <= high) {
            code = (code << 6) | (uchar(b[i]) & 0x3F);
            low = 0x80; high = 0xBF;
            ++taken; ++i;
        }
        if (taken < need || need == 0)
            out += QChar(0xFFFD);
        else
            out += QString::fromUcs4(&code, 1);
    }
    return out;
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
    TMallocBytes block(static_cast<char*>(std::malloc(std::size_t(bytes.size()) + 1)));
    std::memcpy(block.get(), bytes.constData(), std::size_t(bytes.size()));
    return TTextStore(std::move(block), bytes.size());
}

// Applies edits to both models; Check() returns the first disagreement, or
// an empty text.
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

    void Replace(qint64 from, qint64 to, const QString& text)
    {
        from = Snap(from);
        to = Snap(to);
        if (from > to)
            std::swap(from, to);
        const QString inserted = Inserted(text);
        if (from == to && inserted.isEmpty())
            return;
        FModel.Replace(from, to, text);
        FUndo.push_back(FReference);
        FRedo.clear();
        FReference.replace(from, to - from, inserted);
    }

    // Every edit here is one undo step (ekOther); merging is tested apart.
    void Undo()
    {
        if (FModel.CanUndo() != !FUndo.empty())
            FStackMismatch = true;
        if (FUndo.empty())
            return;
        FModel.Undo();
        FRedo.push_back(FReference);
        FReference = FUndo.back();
        FUndo.pop_back();
    }

    void Redo()
    {
        if (FModel.CanRedo() != !FRedo.empty())
            FStackMismatch = true;
        if (FRedo.empty())
            return;
        FModel.Redo();
        FUndo.push_back(FReference);
        FReference = FRedo.back();
        FRedo.pop_back();
    }

    const QString& Reference() const { return FReference; }
    TMemoText& Model() { return FModel; }

    QString Check(qint64 probe) const
    {
        if (FStackMismatch)
            return QStringLiteral("undo or redo offered when it should not be, or the reverse");
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
    QString FReference;
    TMemoText FModel;
    std::vector<QString> FUndo;
    std::vector<QString> FRedo;
    bool FStackMismatch = false;
};

} // namespace MemoReference
