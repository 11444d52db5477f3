// Fuzz target: a loaded block, then a script of edits, undos and redos,
// applied to the text model and to the plain QString reference; any
// disagreement (or a sanitizer finding) stops the run.

#include "tests/textarea/MemoReference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // Blocks long enough to cross several index marks (one about every 4 KB).
    const std::vector<char> block = input.ConsumeBytes<char>(input.ConsumeIntegralInRange<std::size_t>(0, 40000));
    MemoReference::TChecker checker(QByteArray(block.data(), qsizetype(block.size())));

    qint64 caret = 0;
    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        const int op = input.ConsumeIntegralInRange(0, 7);
        const qint64 length = checker.Reference().size();
        const qint64 from = input.ConsumeIntegralInRange<qint64>(0, length);
        const qint64 to = input.ConsumeIntegralInRange<qint64>(from, std::min(length, from + 300));
        caret = checker.Snap(std::min(caret, length));
        QString text;
        for (int n = input.ConsumeIntegralInRange(0, 12); n > 0; --n) {
            // Mostly line ends and plain letters, sometimes any UTF-16 unit.
            static const char16_t common[] = {u'a', u'\r', u'\n', u'\t', u'\u00e9', u'\u2029', 0xD83D, 0xDE00};
            text += input.ConsumeBool() ? QChar(common[input.ConsumeIntegralInRange(0, 7)])
                                        : QChar(input.ConsumeIntegral<char16_t>());
        }
        switch (op) {
        case 0: checker.Undo(); break;
        case 1: checker.Redo(); break;
        case 2:
            caret = from;
            if (input.ConsumeBool())
                checker.BreakMerge();
            break;
        case 3: // typing at the caret
            checker.Replace(caret, caret, text, TEditKind::ekTyping);
            caret += MemoReference::Inserted(text).size();
            break;
        case 4: // Backspace
            if (caret > 0) {
                const qint64 end = caret;
                caret = checker.Snap(caret - 1);
                checker.Replace(caret, end, QString(), TEditKind::ekDeleteBack);
            }
            break;
        case 5: // Delete
            checker.Replace(caret, checker.Snap(caret + 1) == caret ? caret + 2 : caret + 1, QString(),
                            TEditKind::ekDeleteForward);
            break;
        default: checker.Replace(from, to, text); break;
        }
        const QString fault = checker.Check(input.ConsumeIntegral<std::uint32_t>());
        if (!fault.isEmpty()) {
            std::fprintf(stderr, "step %d: %s\n", step, qPrintable(fault));
            std::abort();
        }
    }
    return 0;
}
