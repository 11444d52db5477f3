#pragma once

#include "base/Arrivals.h"
#include "textarea/TextStore.h"

#include <cstdint>
#include <optional>

class TMemo;

// A loaded text made while its bytes arrive. While the text area shows a
// loaded text, unedited and of the same length, each piece is compared with
// it: as long as the bytes are those shown, a load that ends there changes
// nothing, so the index waits, and the first piece that differs has it catch
// up. Otherwise each piece is indexed as it comes, and the text area lays
// out the lines it will show first while the rest is on its way. Only the
// index is memory of its own: the block stays its owner's until Finish.
class TTextReading final
{
public:
    // `wanted`: the bytes asked for; a read that brings fewer (a shorter
    // file) always replaces the text.
    TTextReading(TArrivalsView arrivals, TMemo& memo, std::int64_t wanted);
    Q_DISABLE_COPY_MOVE(TTextReading)

    // Goes through the bytes as they arrive, until the read ends or nothing
    // more is needed (a zero byte has ended the text), when it asks the
    // reader to stop and answers true. Throws std::bad_alloc when the index
    // cannot be had.
    bool Follow();
    // Once the reader is done with the block: the text to show, which takes
    // the block over, or nothing when it is the text shown (the view, caret
    // and selection then stay).
    std::optional<TTextStore> Finish(TBlockBytes block);

private:
    // Bytes [from, to) are in; false when nothing after them is needed.
    bool Take(std::int64_t from, std::int64_t to);
    TTextStore& Store();

    TArrivalsView FArrivals;
    TMemo& FMemo;
    const std::int64_t FWanted;
    std::optional<TTextStore> FStore;
    bool FSame = false;
    std::int64_t FCompared = 0;
    std::int64_t FSeen = 0;
};
