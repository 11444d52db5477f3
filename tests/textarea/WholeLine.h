#pragma once

#include <QFont>
#include <QString>
#include <QTextLayout>

#include <memory>

namespace MemoReference {

// A line laid out whole, without wrapping, from the left margin: what the
// text area's places are compared with.
inline std::unique_ptr<QTextLayout> WholeLine(const QString& line, const QFont& font)
{
    auto whole = std::make_unique<QTextLayout>(line, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    whole->setTextOption(option);
    whole->beginLayout();
    whole->createLine().setLineWidth(1e7);
    whole->endLayout();
    return whole;
}

} // namespace MemoReference
