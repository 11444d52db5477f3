#include "textarea/MemoText.h"

#include <QLatin1StringView>

#include <algorithm>
#include <bit>
#include <cstring>

#include <emmintrin.h>

namespace {

// Bytes between index marks: the longest scan a position lookup makes.
constexpr std::int64_t MarkSpacing = 4096;

// One character by the display rules: its code (LF for any line end) and
// how many bytes it took. What is ill-formed is one U+FFFD per maximal part.
int DecodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& code)
{
    const unsigned c = *p;
    if (c < 0x80) {
        if (c == '\r') {
            code = U'\n';
            return p + 1 < end && p[1] == '\n' ? 2 : 1;
        }
        code = c;
        return 1;
    }
    int need = 0;
    char32_t value = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        value = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        value = c & 0x07;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        code = 0xFFFD;
        return 1;
    }
    int taken = 0;
    for (const unsigned char* q = p + 1; taken < need && q < end && *q >= low && *q <= high;
         ++taken, ++q) {
        value = (value << 6) | (*q & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    code = taken == need ? value : 0xFFFD;
    return 1 + taken;
}

int UnitsOf(char32_t code)
{
    return code >= 0x10000 ? 2 : 1;
}

// Bit i set where byte i of the 64 at p equals c.
std::uint64_t Equal64(const unsigned char* p, char c)
{
    const __m128i needle = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        mask |= std::uint64_t(std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle)))) << (16 * i);
    }
    return mask;
}

// Whether any of the 64 bytes at p is outside ASCII.
bool AnyHigh64(const unsigned char* p)
{
    __m128i all = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    for (int i = 1; i < 4; ++i)
        all = _mm_or_si128(all, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)));
    return _mm_movemask_epi8(all) != 0;
}

} // namespace

// ---------------------------------------------------------------------------

TTextStore::TTextStore()
{
    FMarks.push_back({});
    FNextMark = MarkSpacing;
}

TTextStore::TTextStore(TMallocBytes block, std::int64_t size)
    : FBlock(std::move(block))
{
    const void* zero = size > 0 ? std::memchr(FBlock.get(), 0, static_cast<std::size_t>(size)) : nullptr;
    FCutAtZero = zero != nullptr;
    FSize = zero ? static_cast<const char*>(zero) - FBlock.get() : size;
    const unsigned char* bytes = Bytes();
    while (FLeadSkip < 3 && FLeadSkip < FSize && (bytes[FLeadSkip] & 0xC0) == 0x80)
        ++FLeadSkip;
    FMarks.reserve(static_cast<std::size_t>(FSize / MarkSpacing + 2));
    FMarks.push_back({});
    FNextMark = MarkSpacing;
    Index();
}

const unsigned char* TTextStore::Bytes() const
{
    return reinterpret_cast<const unsigned char*>(FBlock ? FBlock.get() : FAdded.data());
}

std::int64_t TTextStore::LongestLine() const
{
    return std::max(FLongestLine, FEnd.Units - FLineStartUnits);
}

int TTextStore::CharAt(std::int64_t byte, char32_t& code) const
{
    if (byte == 0 && FLeadSkip > 0) {
        code = 0xFFFD;
        return FLeadSkip;
    }
    const unsigned char* bytes = Bytes();
    return DecodeUtf8(bytes + byte, bytes + FSize, code);
}

void TTextStore::Step(TTextMark& mark) const
{
    char32_t code = 0;
    mark.Byte += CharAt(mark.Byte, code);
    mark.Units += UnitsOf(code);
    mark.Breaks += code == U'\n';
}

void TTextStore::Index()
{
    const unsigned char* const bytes = Bytes();
    TTextMark at = FEnd;
    std::int64_t lineStart = FLineStartUnits;
    std::int64_t longest = FLongestLine;
    const auto lineEnd = [&](std::int64_t unitsAtBreak) {
        longest = std::max(longest, unitsAtBreak - lineStart);
        lineStart = unitsAtBreak + 1;
        ++at.Breaks;
    };
    const auto step = [&] {
        char32_t code = 0;
        const int length = CharAt(at.Byte, code);
        if (code == U'\n')
            lineEnd(at.Units);
        at.Units += UnitsOf(code);
        at.Byte += length;
    };

    while (at.Byte < FSize) {
        if (at.Byte >= FNextMark) {
            FMarks.push_back(at);
            FNextMark = at.Byte + MarkSpacing;
        }
        if (FSize - at.Byte < 64) {
            step();
            continue;
        }
        // Plain ASCII without CR, the common case, goes 64 bytes at a time.
        const unsigned char* p = bytes + at.Byte;
        if (!AnyHigh64(p) && !Equal64(p, '\r')) {
            for (std::uint64_t lines = Equal64(p, '\n'); lines; lines &= lines - 1)
                lineEnd(at.Units + std::countr_zero(lines));
            at.Units += 64;
            at.Byte += 64;
            continue;
        }
        for (const std::int64_t blockEnd = at.Byte + 64; at.Byte < blockEnd;)
            step();
    }
    FEnd = at;
    FLineStartUnits = lineStart;
    FLongestLine = longest;
}

void TTextStore::Append(QStringView text)
{
    std::string utf8;
    utf8.reserve(static_cast<std::size_t>(text.size()) * 3);
    const auto put = [&utf8](char32_t c) {
        if (c < 0x80) {
            utf8 += char(c);
        } else if (c < 0x800) {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += char(0xE0 | (c >> 12));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        } else {
            utf8 += char(0xF0 | (c >> 18));
            utf8 += char(0x80 | ((c >> 12) & 0x3F));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            put(U'\n');
        } else if (c == u'\u2029') {
            put(U'\n');
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            put(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            put(0xFFFD);
        } else {
            put(c);
        }
    }
    FAdded += utf8;
    FSize = static_cast<std::int64_t>(FAdded.size());
    Index();
}

// The last boundary whose `key` is at most `value`: the mark before it,
// then a step at a time.
TTextMark TTextStore::SeekTo(std::int64_t TTextMark::*key, std::int64_t value) const
{
    auto it = std::upper_bound(FMarks.begin(), FMarks.end(), value,
                               [key](std::int64_t v, const TTextMark& m) { return v < m.*key; });
    TTextMark at = *(it - 1);
    while (at.*key < value) {
        TTextMark next = at;
        Step(next);
        if (next.*key > value)
            break;
        at = next;
    }
    return at;
}

TTextMark TTextStore::SeekByte(std::int64_t byte) const
{
    return SeekTo(&TTextMark::Byte, std::clamp<std::int64_t>(byte, 0, FSize));
}

TTextMark TTextStore::SeekUnits(std::int64_t units) const
{
    return SeekTo(&TTextMark::Units, std::clamp<std::int64_t>(units, 0, FEnd.Units));
}

TTextMark TTextStore::SeekLine(std::int64_t breaks) const
{
    if (breaks <= 0)
        return {};
    if (breaks > FEnd.Breaks)
        return FEnd;
    auto it = std::lower_bound(FMarks.begin(), FMarks.end(), breaks,
                               [](const TTextMark& m, std::int64_t k) { return m.Breaks < k; });
    TTextMark at = *(it - 1);
    while (at.Breaks < breaks)
        Step(at);
    return at;
}

void TTextStore::Decode(std::int64_t from, std::int64_t to, QString& out, QChar lineBreak) const
{
    to = std::min(to, FSize);
    if (from >= to)
        return;
    // Written straight into the string: a character never takes more units
    // than bytes, and the last one may run past `to` by two units at most.
    const qsizetype start = out.size();
    out.resize(start + qsizetype(to - from) + 2);
    char16_t* const first = reinterpret_cast<char16_t*>(out.data());
    char16_t* write = first + start;
    const unsigned char* const bytes = Bytes();
    std::int64_t at = from;
    while (at < to) {
        const unsigned char c = bytes[at];
        if (c < 0x80 && c != '\r' && c != '\n') {
            *write++ = c;
            ++at;
            continue;
        }
        char32_t code = 0;
        at += at == 0 ? CharAt(at, code) : DecodeUtf8(bytes + at, bytes + FSize, code);
        if (code == U'\n') {
            *write++ = lineBreak.unicode();
        } else if (code >= 0x10000) {
            *write++ = QChar::highSurrogate(code);
            *write++ = QChar::lowSurrogate(code);
        } else {
            *write++ = char16_t(code);
        }
    }
    out.truncate(write - first);
}

// ---------------------------------------------------------------------------

struct TMemoText::TNode {
    TPiece Piece;
    std::uint32_t Priority = 0;
    TTree Left;
    TTree Right;
    std::int64_t Units = 0;
    std::int64_t Breaks = 0;
};

struct TMemoText::TEdit {
    std::int64_t Pos = 0;
    std::vector<TPiece> Removed;
    std::vector<TPiece> Inserted;
    std::int64_t RemovedUnits = 0;
    std::int64_t InsertedUnits = 0;
    TEditKind Kind = TEditKind::ekOther;
};

namespace {

template <class Node>
std::int64_t UnitsOf(const std::unique_ptr<Node>& node)
{
    return node ? node->Units : 0;
}

template <class Node>
std::int64_t BreaksOf(const std::unique_ptr<Node>& node)
{
    return node ? node->Breaks : 0;
}

template <class Node>
void Update(Node& node)
{
    node.Units = node.Piece.Units() + UnitsOf(node.Left) + UnitsOf(node.Right);
    node.Breaks = node.Piece.Breaks() + BreaksOf(node.Left) + BreaksOf(node.Right);
}

std::int64_t UnitsIn(const std::vector<TPiece>& pieces)
{
    std::int64_t units = 0;
    for (const TPiece& piece : pieces)
        units += piece.Units();
    return units;
}

} // namespace

TMemoText::TMemoText() = default;
TMemoText::~TMemoText() = default;

void TMemoText::Load(TTextStore original)
{
    FRoot.reset();
    FUndo.clear();
    FRedo.clear();
    FAdded = TTextStore();
    FOriginal = std::move(original);
    if (FOriginal.End().Units > 0)
        FRoot = NewNode({false, {}, FOriginal.End()});
    FMergeable = false;
    ++FRevision;
}

const TTextStore& TMemoText::StoreOf(const TPiece& piece) const
{
    return piece.Added ? FAdded : FOriginal;
}

TMemoText::TTree TMemoText::NewNode(const TPiece& piece)
{
    auto node = std::make_unique<TNode>();
    node->Piece = piece;
    node->Priority = static_cast<std::uint32_t>(FRandom());
    Update(*node);
    return node;
}

TMemoText::TTree TMemoText::Merge(TTree left, TTree right) const
{
    if (!left)
        return right;
    if (!right)
        return left;
    if (left->Priority > right->Priority) {
        left->Right = Merge(std::move(left->Right), std::move(right));
        Update(*left);
        return left;
    }
    right->Left = Merge(std::move(left), std::move(right->Left));
    Update(*right);
    return right;
}

std::pair<TMemoText::TTree, TMemoText::TTree> TMemoText::Split(TTree tree, std::int64_t units) const
{
    if (!tree)
        return {};
    const std::int64_t leftUnits = UnitsOf(tree->Left);
    const std::int64_t pieceUnits = tree->Piece.Units();
    if (units <= leftUnits) {
        auto [a, b] = Split(std::move(tree->Left), units);
        tree->Left = std::move(b);
        Update(*tree);
        return {std::move(a), std::move(tree)};
    }
    if (units >= leftUnits + pieceUnits) {
        auto [a, b] = Split(std::move(tree->Right), units - leftUnits - pieceUnits);
        tree->Right = std::move(a);
        Update(*tree);
        return {std::move(tree), std::move(b)};
    }
    // Inside this piece: it becomes two.
    TPiece& piece = tree->Piece;
    const TTextMark cut = StoreOf(piece).SeekUnits(piece.Begin.Units + units - leftUnits);
    auto rightNode = std::make_unique<TNode>();
    rightNode->Piece = {piece.Added, cut, piece.End};
    rightNode->Priority = tree->Priority;
    piece.End = cut;
    rightNode->Right = std::move(tree->Right);
    Update(*rightNode);
    Update(*tree);
    return {std::move(tree), std::move(rightNode)};
}

TMemoText::TTree TMemoText::Build(const std::vector<TPiece>& pieces)
{
    TTree tree;
    for (const TPiece& piece : pieces)
        tree = Merge(std::move(tree), NewNode(piece));
    return tree;
}

void TMemoText::Collect(const TNode* node, std::vector<TPiece>& out)
{
    for (; node; node = node->Right.get()) {
        Collect(node->Left.get(), out);
        out.push_back(node->Piece);
    }
}

std::int64_t TMemoText::Length() const
{
    return UnitsOf(FRoot);
}

std::int64_t TMemoText::LineCount() const
{
    return BreaksOf(FRoot) + 1;
}

std::int64_t TMemoText::LineStart(std::int64_t line) const
{
    if (line <= 0)
        return 0;
    std::int64_t k = std::min(line, BreaksOf(FRoot));
    std::int64_t before = 0;
    for (const TNode* node = FRoot.get(); node;) {
        const std::int64_t leftBreaks = BreaksOf(node->Left);
        if (k <= leftBreaks) {
            node = node->Left.get();
            continue;
        }
        const TPiece& piece = node->Piece;
        if (k <= leftBreaks + piece.Breaks()) {
            const TTextMark at = StoreOf(piece).SeekLine(piece.Begin.Breaks + k - leftBreaks);
            return before + UnitsOf(node->Left) + at.Units - piece.Begin.Units;
        }
        k -= leftBreaks + piece.Breaks();
        before += UnitsOf(node->Left) + piece.Units();
        node = node->Right.get();
    }
    return before;
}

std::int64_t TMemoText::LineEnd(std::int64_t line) const
{
    return line + 1 < LineCount() ? LineStart(line + 1) - 1 : Length();
}

// The boundary at or before pos: its units and line ends from the text's start.
TTextMark TMemoText::Locate(std::int64_t pos) const
{
    TTextMark before;
    for (const TNode* node = FRoot.get(); node;) {
        const std::int64_t leftUnits = UnitsOf(node->Left);
        if (pos < leftUnits) {
            node = node->Left.get();
            continue;
        }
        before.Units += leftUnits;
        before.Breaks += BreaksOf(node->Left);
        pos -= leftUnits;
        const TPiece& piece = node->Piece;
        if (pos < piece.Units()) {
            const TTextMark at = StoreOf(piece).SeekUnits(piece.Begin.Units + pos);
            return {0, before.Units + at.Units - piece.Begin.Units, before.Breaks + at.Breaks - piece.Begin.Breaks};
        }
        pos -= piece.Units();
        before.Units += piece.Units();
        before.Breaks += piece.Breaks();
        node = node->Right.get();
    }
    return before;
}

std::int64_t TMemoText::LineOf(std::int64_t pos) const
{
    return Locate(pos).Breaks;
}

std::int64_t TMemoText::Snap(std::int64_t pos) const
{
    return Locate(std::clamp<std::int64_t>(pos, 0, Length())).Units;
}

// Calls visit(piece, fromUnits, toUnits) for each piece that [from, to)
// touches, in order, with the piece-relative part that lies inside.
template <class Visitor>
void TMemoText::Visit(std::int64_t from, std::int64_t to, Visitor&& visit) const
{
    struct TWalk {
        const Visitor& Fn;
        void operator()(const TNode* node, std::int64_t offset, std::int64_t from, std::int64_t to) const
        {
            while (node && from < offset + node->Units && to > offset) {
                const std::int64_t pieceStart = offset + UnitsOf(node->Left);
                if (from < pieceStart)
                    (*this)(node->Left.get(), offset, from, to);
                const std::int64_t pieceEnd = pieceStart + node->Piece.Units();
                if (from < pieceEnd && to > pieceStart)
                    Fn(node->Piece, std::max(from, pieceStart) - pieceStart,
                       std::min(to, pieceEnd) - pieceStart);
                offset = pieceEnd;
                node = node->Right.get();
            }
        }
    };
    TWalk{visit}(FRoot.get(), 0, from, to);
}

QString TMemoText::Text(std::int64_t from, std::int64_t to, QChar lineBreak) const
{
    from = std::max<std::int64_t>(from, 0);
    to = std::min(to, Length());
    QString out;
    if (from >= to)
        return out;
    out.reserve(static_cast<qsizetype>(to - from));
    Visit(from, to, [&](const TPiece& piece, std::int64_t a, std::int64_t b) {
        const TTextStore& store = StoreOf(piece);
        const std::int64_t begin = a == 0 ? piece.Begin.Byte : store.SeekUnits(piece.Begin.Units + a).Byte;
        const std::int64_t end = b == piece.Units() ? piece.End.Byte : store.SeekUnits(piece.Begin.Units + b).Byte;
        store.Decode(begin, end, out, lineBreak);
    });
    return out;
}

bool TMemoText::SameText(const TTextStore& store) const
{
    if (store.End().Units != Length() || store.End().Breaks != BreaksOf(FRoot))
        return false;
    // An untouched text of the same bytes is the common case.
    if (FRoot && !FRoot->Left && !FRoot->Right && !FRoot->Piece.Added
        && FRoot->Piece.End.Byte == FOriginal.Size() && store.Size() == FOriginal.Size()
        && std::memcmp(FOriginal.Data(), store.Data(), static_cast<std::size_t>(store.Size())) == 0)
        return true;
    // Otherwise compare what both show, a slice at a time.
    constexpr std::int64_t Slice = 1 << 20;
    for (std::int64_t at = 0; at < Length(); at += Slice) {
        const std::int64_t end = std::min(at + Slice, Length());
        QString theirs;
        store.Decode(store.SeekUnits(at).Byte, store.SeekUnits(end).Byte, theirs, u'\n');
        if (theirs != Text(at, end))
            return false;
    }
    return true;
}

std::vector<TPiece> TMemoText::Swap(std::int64_t pos, std::int64_t units, const std::vector<TPiece>& pieces)
{
    auto [before, rest] = Split(std::move(FRoot), pos);
    auto [middle, after] = Split(std::move(rest), units);
    std::vector<TPiece> removed;
    Collect(middle.get(), removed);
    FRoot = Merge(Merge(std::move(before), Build(pieces)), std::move(after));
    ++FRevision;
    return removed;
}

std::int64_t TMemoText::Replace(std::int64_t from, std::int64_t to, QStringView text, TEditKind kind)
{
    from = Snap(from);
    to = Snap(to);
    if (from > to)
        std::swap(from, to);
    std::vector<TPiece> inserted;
    if (!text.isEmpty()) {
        const TTextMark begin = FAdded.End();
        FAdded.Append(text);
        inserted.push_back({true, begin, FAdded.End()});
    }
    const std::int64_t insertedUnits = UnitsIn(inserted);
    if (from == to && insertedUnits == 0)
        return 0;

    TEdit edit;
    edit.Pos = from;
    edit.Removed = Swap(from, to - from, inserted);
    edit.RemovedUnits = to - from;
    edit.Inserted = std::move(inserted);
    edit.InsertedUnits = insertedUnits;
    edit.Kind = kind;
    FRedo.clear();

    TEdit* last = FMergeable && !FUndo.empty() ? &FUndo.back() : nullptr;
    if (last && last->Kind == kind) {
        const bool pureRemove = edit.InsertedUnits == 0 && last->InsertedUnits == 0;
        if (kind == TEditKind::ekTyping && edit.RemovedUnits == 0
            && last->Pos + last->InsertedUnits == edit.Pos) {
            last->Inserted.insert(last->Inserted.end(), edit.Inserted.begin(), edit.Inserted.end());
            last->InsertedUnits += edit.InsertedUnits;
            return insertedUnits;
        }
        if (kind == TEditKind::ekDeleteBack && pureRemove && edit.Pos + edit.RemovedUnits == last->Pos) {
            edit.Removed.insert(edit.Removed.end(), last->Removed.begin(), last->Removed.end());
            last->Removed = std::move(edit.Removed);
            last->RemovedUnits += edit.RemovedUnits;
            last->Pos = edit.Pos;
            return insertedUnits;
        }
        if (kind == TEditKind::ekDeleteForward && pureRemove && edit.Pos == last->Pos) {
            last->Removed.insert(last->Removed.end(), edit.Removed.begin(), edit.Removed.end());
            last->RemovedUnits += edit.RemovedUnits;
            return insertedUnits;
        }
    }
    FUndo.push_back(std::move(edit));
    FMergeable = kind != TEditKind::ekOther;
    return insertedUnits;
}

// An undo takes out what the edit inserted and puts back what it removed; a
// redo the other way round.
TEditChange TMemoText::Peek(const std::vector<TEdit>& history, bool undo)
{
    if (history.empty())
        return {};
    const TEdit& edit = history.back();
    return undo ? TEditChange{edit.Pos, edit.InsertedUnits, edit.RemovedUnits}
                : TEditChange{edit.Pos, edit.RemovedUnits, edit.InsertedUnits};
}

TEditChange TMemoText::Replay(std::vector<TEdit>& from, std::vector<TEdit>& to, bool undo)
{
    const TEditChange change = Peek(from, undo);
    if (from.empty())
        return change;
    TEdit edit = std::move(from.back());
    from.pop_back();
    Swap(change.Pos, change.Removed, undo ? edit.Removed : edit.Inserted);
    to.push_back(std::move(edit));
    FMergeable = false;
    return change;
}

TEditChange TMemoText::NextUndo() const
{
    return Peek(FUndo, true);
}

TEditChange TMemoText::NextRedo() const
{
    return Peek(FRedo, false);
}

TEditChange TMemoText::Undo()
{
    return Replay(FUndo, FRedo, true);
}

TEditChange TMemoText::Redo()
{
    return Replay(FRedo, FUndo, false);
}
