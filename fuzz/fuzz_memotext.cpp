// Fuzz target: a loaded block, then a script of edits, undos and redos,
// applied to the text model and to the plain QString reference; any
// disagreement (or a sanitizer finding) stops the run.

#include "tests/textarea/MemoReference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The edits' choices, read from the fuzzer's input.
struct TChoices {
    FuzzedDataProvider& Input;

    qint64 Below(qint64 n) { return Input.ConsumeIntegralInRange<qint64>(0, n - 1); }
    // Mostly line ends and plain letters, sometimes any UTF-16 unit.
    QString Text(const QString&)
    {
        static const char16_t common[] = {u'a', u'\r', u'\n', u'\t', u'\u00e9', u'\u2029', 0xD83D, 0xDE00};
        QString text;
        for (int n = Input.ConsumeIntegralInRange(0, 12); n > 0; --n)
            text += Input.ConsumeBool() ? QChar(common[Input.ConsumeIntegralInRange(0, 7)])
                                        : QChar(Input.ConsumeIntegral<char16_t>());
        return text;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // Blocks long enough to cross several index marks (one about every 4 KB).
    const std::vector<char> block = input.ConsumeBytes<char>(input.ConsumeIntegralInRange<std::size_t>(0, 40000));
    MemoReference::TChecker checker(QByteArray(block.data(), qsizetype(block.size())));

    TChoices choices{input};
    qint64 caret = 0;
    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        MemoReference::RandomEdit(checker, caret, choices);
        const QString fault = checker.Check(input.ConsumeIntegral<std::uint32_t>());
        if (!fault.isEmpty()) {
            std::fprintf(stderr, "step %d: %s\n", step, qPrintable(fault));
            std::abort();
        }
    }
    return 0;
}
