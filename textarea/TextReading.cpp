#include "textarea/TextReading.h"

#include "textarea/Memo.h"
#include "textarea/MemoText.h"

#include <cstring>

TTextReading::TTextReading(TArrivalsView arrivals, TMemo& memo, std::int64_t wanted)
    : FArrivals(arrivals), FMemo(memo), FWanted(wanted)
{
    const TMemoText& shown = FMemo.Model();
    FSame = FArrivals.Size() == FWanted && shown.Untouched() && shown.Original().Size() == FWanted;
}

bool TTextReading::Follow()
{
    for (;;) {
        const std::int64_t in = FArrivals.Wait(FSeen);
        if (in == FSeen)
            return false;
        const bool more = Take(FSeen, in);
        FSeen = in;
        if (!more) {
            FArrivals.Stop();
            return true;
        }
    }
}

bool TTextReading::Take(std::int64_t from, std::int64_t to)
{
    if (FSame) {
        const char* shown = FMemo.Model().Original().Data();
        FSame = std::memcmp(shown + from, FArrivals.Data() + from, static_cast<std::size_t>(to - from)) == 0;
        FCompared = to;
        if (FSame)
            return true;
    }
    const bool more = Store().Grow(to);
    // The first lines are laid out while the rest is on its way.
    if (to < FArrivals.Size())
        FMemo.PrepareFor(*FStore);
    return more;
}

TTextStore& TTextReading::Store()
{
    if (!FStore)
        FStore.emplace(TTextStore::Reading(FArrivals.Data(), FArrivals.Size()));
    return *FStore;
}

std::optional<TTextStore> TTextReading::Finish(TBlockBytes block)
{
    // The same bytes as shown: the view, caret and selection stay.
    if (FSame && FCompared == FArrivals.Size())
        return std::nullopt;
    TTextStore& store = Store();
    store.Finish(FSeen, std::move(block));
    // The text area never holds a zero byte, so a block with one (the file
    // was shorter than the block, or the data has one) always replaces.
    const bool hasZero = store.Size() < FWanted || store.CutAtZero();
    // Bytes that differ may still show the same text (two bad bytes are
    // each one U+FFFD): only the text says no.
    if (!hasZero && FMemo.Model().SameText(store))
        return std::nullopt;
    return std::move(store);
}
