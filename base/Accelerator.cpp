#include "base/Accelerator.h"

TCaption ParseCaption(const QString& caption)
{
    TCaption parsed;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != u'&')
                parsed.Accelerator = caption[i];
        }
        parsed.Spoken += caption[i];
    }
    return parsed;
}
