#pragma once

// What the text area's source files share: its measures and small helpers.
// Not for use outside textarea/.

#include <QChar>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace MemoInternal {

constexpr int Margin = 4;                      // around the text, as a plain text edit has
constexpr std::int64_t NoticeLimit = 65536;    // most text carried by one change notice
constexpr std::int64_t PrimaryLimit = 16'000'000; // most text a mouse selection offers to other programs

inline int ClampToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

inline bool IsWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

} // namespace MemoInternal
