#include "app/NativePath.h"

#include <QFile>
#include <QStringList>

#include <optional>

#include <dirent.h>
#include <sys/stat.h>

namespace {

bool Exists(const QByteArray& path)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0;
}

// A name component as other tools print one whose bytes are not UTF-8: the
// escapes \ooo (ls -b) and \xHH (bash's $'...') made bytes again.
std::optional<QByteArray> Unescaped(const QByteArray& component)
{
    QByteArray bytes;
    bool escaped = false;
    for (qsizetype i = 0; i < component.size(); ++i) {
        const char c = component[i];
        const auto digits = [&](qsizetype from, int count, int base) -> std::optional<int> {
            if (from + count > component.size())
                return std::nullopt;
            bool ok = false;
            const int value = component.mid(from, count).toInt(&ok, base);
            return ok && value < 256 ? std::optional<int>(value) : std::nullopt;
        };
        if (c == '\\' && digits(i + 1, 3, 8) && component[i + 1] >= '0' && component[i + 1] <= '3') {
            bytes += char(*digits(i + 1, 3, 8));
            i += 3;
            escaped = true;
        } else if (c == '\\' && i + 1 < component.size() && component[i + 1] == 'x' && digits(i + 2, 2, 16)) {
            bytes += char(*digits(i + 2, 2, 16));
            i += 3;
            escaped = true;
        } else {
            bytes += c;
        }
    }
    return escaped ? std::optional<QByteArray>(bytes) : std::nullopt;
}

// The one entry of a folder whose name Qt shows as `name` (its invalid bytes
// as U+FFFD), when exactly one does.
std::optional<QByteArray> EntryShownAs(const QByteArray& folder, const QString& name)
{
    DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return std::nullopt;
    std::optional<QByteArray> found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (QFile::decodeName(entry->d_name) == name) {
            found = QByteArray(entry->d_name);
            ++matches;
        }
    }
    ::closedir(dir);
    return matches == 1 ? found : std::nullopt;
}

} // namespace

QByteArray NativePath(const QString& path)
{
    const QByteArray literal = QFile::encodeName(path);
    if (Exists(literal))
        return literal;
    // Qt holds names as Unicode, so a name whose bytes are not UTF-8 comes
    // back with U+FFFD or as another tool escaped it: find the bytes a
    // component at a time, the name as typed wherever it exists.
    QByteArray resolved;
    const QStringList components = path.split(u'/');
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QByteArray folder = resolved.isEmpty() && i > 0 ? QByteArray("/") : resolved;
        if (i > 0)
            resolved += '/';
        const QByteArray typed = QFile::encodeName(components[i]);
        if (components[i].isEmpty() || Exists(resolved + typed)) {
            resolved += typed;
        } else if (const auto bytes = Unescaped(typed); bytes && Exists(resolved + *bytes)) {
            resolved += *bytes;
        } else if (const auto entry = components[i].contains(QChar::ReplacementCharacter)
                                          ? EntryShownAs(folder, components[i]) : std::nullopt) {
            resolved += *entry;
        } else {
            return literal;
        }
    }
    return resolved;
}
