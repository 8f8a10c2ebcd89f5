#include "SnapshotChangeList.h"

namespace SnapshotChangeList {

namespace {

// The marker starts with a TAB: none of rsync's own messages does.
constexpr std::string_view marker = "\t#change: ";
// "%i" is always eleven characters ("YXcstpoguax"), then one space.
constexpr std::size_t itemizeWidth = 11;

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

} // namespace

QByteArray changeListOutFormat()
{
    QByteArray argument("--out-format=");
    argument.append(marker.data(), qsizetype(marker.size()));
    argument.append("%i %n%L");
    return argument;
}

std::string unescapeName(std::string_view escaped)
{
    std::string name;
    name.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 4 < escaped.size() && escaped[i + 1] == '#' && isOctal(escaped[i + 2])
            && isOctal(escaped[i + 3]) && isOctal(escaped[i + 4])) {
            name += char(((escaped[i + 2] - '0') << 6) | ((escaped[i + 3] - '0') << 3) | (escaped[i + 4] - '0'));
            i += 4;
            continue;
        }
        name += escaped[i];
    }
    return name;
}

namespace {

void addName(std::string_view escaped, std::vector<std::string> &names)
{
    std::string name = unescapeName(escaped);
    if (name.size() > 1 && name.back() == '/')
        name.pop_back();
    if (!name.empty())
        names.push_back(std::move(name));
}

// "name<separator>target": every text before a separator may be the name;
// with `targetsAreNames` (a hard link) every text after one may be a name too.
void addSplitNames(std::string_view text, std::string_view separator, bool targetsAreNames,
                   std::vector<std::string> &names)
{
    std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        addName(text, names);
        return;
    }
    for (; at != std::string_view::npos; at = text.find(separator, at + 1)) {
        addName(text.substr(0, at), names);
        if (targetsAreNames)
            addName(text.substr(at + separator.size()), names);
    }
}

} // namespace

bool parseChangeLine(std::string_view line, ChangeLine &change)
{
    if (!line.starts_with(marker))
        return false;
    line.remove_prefix(marker.size());
    if (line.size() < itemizeWidth + 2 || line[itemizeWidth] != ' ')
        return false;
    const char update = line[0];
    const char type = line[1];
    const std::string_view text = line.substr(itemizeWidth + 1);
    change = {};
    change.deletion = update == '*';
    if (change.deletion)
        addName(text, change.names); // rsync prints no link target for a deletion
    else if (update == 'h')
        addSplitNames(text, " => ", true, change.names);
    else if (type == 'L')
        addSplitNames(text, " -> ", false, change.names);
    else
        addName(text, change.names);
    if (update == 'h' && change.names.size() == 2)
        change.hardLink = HardLink{change.names[0], change.names[1]};
    return !change.names.empty();
}

void Collector::addChunk(const QByteArray &chunk)
{
    std::string_view rest(chunk.constData(), std::size_t(chunk.size()));
    for (;;) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            m_partial.append(rest);
            return;
        }
        if (m_partial.empty()) {
            addLine(rest.substr(0, end));
        } else {
            m_partial.append(rest.substr(0, end));
            addLine(m_partial);
            m_partial.clear();
        }
        rest.remove_prefix(end + 1);
    }
}

void Collector::finish()
{
    if (!m_partial.empty())
        addLine(m_partial);
    m_partial.clear();
}

void Collector::addLine(std::string_view line)
{
    // rsync's progress output rewrites its line with "\r"; only the last
    // part of such a line can be an itemised line.
    const std::size_t carriageReturn = line.rfind('\r');
    if (carriageReturn != std::string_view::npos)
        line.remove_prefix(carriageReturn + 1);
    ChangeLine change;
    if (!parseChangeLine(line, change)) {
        const bool cause = line.starts_with("rsync: ");
        if ((cause && !m_problemNamesCause) || (m_firstProblem.empty() && line.starts_with("rsync error: "))) {
            m_firstProblem = line;
            m_problemNamesCause = cause;
        }
        return;
    }
    if (change.hardLink) {
        m_changed.push_back(change.hardLink->name);
        m_hardLinks.push_back(std::move(*change.hardLink));
        return;
    }
    std::vector<std::string> &list = change.deletion ? m_deleted : m_changed;
    for (std::string &name : change.names)
        list.push_back(std::move(name));
}

} // namespace SnapshotChangeList
