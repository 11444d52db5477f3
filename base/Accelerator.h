#pragma once

#include <QChar>
#include <QString>

// A caption with "&" marking its accelerator key, as controls show it: "&&"
// is one "&". Spoken, the marks go; the accelerator is the character after
// the last single "&" (null when there is none).
struct TCaption {
    QString Spoken;
    QChar Accelerator;
};

TCaption ParseCaption(const QString& caption);
