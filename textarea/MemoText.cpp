#include "textarea/MemoText.h"

#include <algorithm>
#include <bit>

#include <emmintrin.h>

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

// Bytes [0-9A-Za-z_] of 16: a bit each, set for a word byte.
unsigned WordBytes(const unsigned char* p)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // lo <= b <= hi as one signed compare after shifting the range to -128.
    const auto within = [](__m128i v, char lo, char hi) {
        return _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(char(-128 - lo))), _mm_set1_epi8(char(-128 + hi - lo + 1)));
    };
    const __m128i digit = within(bytes, '0', '9');
    const __m128i letter = within(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 'z');
    const __m128i underscore = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('_'));
    return unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(digit, letter), underscore)));
}

bool IsWordByte(unsigned char b)
{
    return (b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') || b == '_';
}

// How many word bytes [begin, end) starts with; ASCII bytes are whole
// characters, so bytes and units count alike.
std::int64_t WordBytesForward(const unsigned char* begin, const unsigned char* end)
{
    const unsigned char* p = begin;
    for (; end - p >= 16; p += 16)
        if (const unsigned other = ~WordBytes(p) & 0xFFFF)
            return p - begin + std::countr_zero(other);
    while (p < end && IsWordByte(*p))
        ++p;
    return p - begin;
}

// How many word bytes [begin, end) ends with.
std::int64_t WordBytesBackward(const unsigned char* begin, const unsigned char* end)
{
    const unsigned char* p = end;
    for (; p - begin >= 16; p -= 16)
        if (const unsigned other = ~WordBytes(p - 16) & 0xFFFF)
            return end - p + (std::countl_zero(other << 16));
    while (p > begin && IsWordByte(p[-1]))
        --p;
    return end - p;
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

std::pair<std::int64_t, std::int64_t> TMemoText::BytesOf(const TPiece& piece, std::int64_t from, std::int64_t to) const
{
    const TTextStore& store = StoreOf(piece);
    return {from == 0 ? piece.Begin.Byte : store.SeekUnits(piece.Begin.Units + from).Byte,
            to == piece.Units() ? piece.End.Byte : store.SeekUnits(piece.Begin.Units + to).Byte};
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
        const auto [begin, end] = BytesOf(piece, a, b);
        StoreOf(piece).Decode(begin, end, out, lineBreak);
    });
    return out;
}

std::int64_t TMemoText::SkipWordRun(std::int64_t pos, std::int64_t limit) const
{
    const bool forward = limit > pos;
    struct TPart {
        const TPiece* Piece;
        std::int64_t From;
        std::int64_t To;
    };
    std::vector<TPart> parts;
    Visit(std::min(pos, limit), std::max(pos, limit), [&](const TPiece& piece, std::int64_t a, std::int64_t b) {
        parts.push_back({&piece, a, b});
    });
    if (!forward)
        std::reverse(parts.begin(), parts.end());
    // Only the parts the run reaches are looked up in their store.
    for (const TPart& part : parts) {
        const auto [begin, end] = BytesOf(*part.Piece, part.From, part.To);
        const auto* bytes = reinterpret_cast<const unsigned char*>(StoreOf(*part.Piece).Data());
        const std::int64_t run = forward ? WordBytesForward(bytes + begin, bytes + end)
                                         : WordBytesBackward(bytes + begin, bytes + end);
        pos += forward ? run : -run;
        if (run < end - begin)
            break;
    }
    return pos;
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
